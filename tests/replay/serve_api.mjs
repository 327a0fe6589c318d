// serve_api.mjs: velkano-replay --serve checked from outside, over sockets written by hand so
// that malformed requests can be sent too.
//   node serve_api.mjs native REPLAY TRACE
//     the routes' statuses and headers (a table), the loopback-only listener, and a clean stop
//     on SIGINT;
//   node serve_api.mjs wine REPLAY TRACE WINE EXE WINESERVER [NAME=VALUE ...]
//     velkano-replay.exe --serve under Wine (with the environment given) lists frame 0's calls
//     and serves one call's image with the same bytes as the native tool.
import { spawn, spawnSync } from 'node:child_process';
import net from 'node:net';
import os from 'node:os';

const failures = [];
const check = (ok, what) => {
  if (!ok) failures.push(what);
};

// Starts `command args` and waits for its "serving TRACE at http://127.0.0.1:PORT/" line.
function startServer(command, args, env = process.env) {
  const child = spawn(command, args, { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let stdout = '', stderr = '';
  child.stderr.on('data', (d) => (stderr += d));
  const exited = new Promise((resolve) => child.on('exit', (code, signal) => resolve({ code, signal })));
  const started = new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no URL within 120 s; stderr:\n${stderr}`)), 120000);
    child.stdout.on('data', (d) => {
      stdout += d;
      const m = /^velkano-replay: serving (.+) at http:\/\/127\.0\.0\.1:(\d+)\/\n/m.exec(stdout);
      if (m) {
        clearTimeout(timer);
        resolve({ child, exited, port: Number(m[2]), stderr: () => stderr, stdout: () => stdout });
      }
    });
    exited.then(({ code, signal }) => reject(new Error(`exited (${code ?? signal}) before serving:\n${stderr}`)));
  });
  return started;
}

// Sends `text` (or a request made of the fields) on a connection of its own and reads until
// the server closes it. Resolves {status, headers (lower-case names), body}, or, for several
// responses on one connection, the raw text as `raw`.
function exchange(port, text, address = '127.0.0.1') {
  return new Promise((resolve, reject) => {
    const socket = net.connect({ host: address, port });
    const chunks = [];
    socket.setTimeout(30000, () => socket.destroy(new Error('timed out')));
    socket.on('connect', () => socket.end(text));
    socket.on('data', (d) => chunks.push(d));
    socket.on('error', reject);
    socket.on('close', () => {
      const raw = Buffer.concat(chunks);
      const split = raw.indexOf('\r\n\r\n');
      const head = raw.subarray(0, split < 0 ? raw.length : split).toString('latin1').split('\r\n');
      const headers = {};
      for (const line of head.slice(1)) {
        const colon = line.indexOf(':');
        headers[line.slice(0, colon).toLowerCase()] = line.slice(colon + 1).trim();
      }
      const status = Number((/^HTTP\/1\.1 (\d{3}) /.exec(head[0]) ?? [])[1]);
      resolve({ status, headers, body: split < 0 ? Buffer.alloc(0) : raw.subarray(split + 4), raw });
    });
  });
}

function requestText(port, { method = 'GET', target, host = `127.0.0.1:${port}`, headers = [], body = '' }) {
  const lines = [`${method} ${target} HTTP/1.1`];
  if (host !== null) lines.push(`Host: ${host}`);
  return [...lines, ...headers, 'Connection: close', '', ''].join('\r\n') + body;
}

const get = (port, target) => exchange(port, requestText(port, { target }));

async function json(port, target) {
  const r = await get(port, target);
  if (r.status !== 200) throw new Error(`GET ${target}: ${r.status} ${r.body}`);
  return JSON.parse(r.body.toString('utf8'));
}

// What every reply carries, and the shape of every error.
function checkReply(what, r) {
  check(r.headers['content-type'], `${what}: no Content-Type`);
  check(r.headers['cache-control'] === 'no-store', `${what}: Cache-Control ${r.headers['cache-control']}`);
  check(r.headers['x-content-type-options'] === 'nosniff', `${what}: no X-Content-Type-Options: nosniff`);
  if (r.status >= 400 && r.headers['content-type'] === 'application/json' && r.body.length) {
    let error;
    try {
      error = JSON.parse(r.body.toString('utf8')).error;
    } catch {}
    check(typeof error === 'string', `${what}: error body not {"error": "..."}: ${r.body}`);
  } else if (r.status >= 400) {
    check(r.headers['content-type'] === 'application/json', `${what}: error not JSON`);
  }
}

async function native(replay, trace) {
  const server = await startServer(replay, ['--serve', '--port', '0', trace]);
  const { port } = server;
  const facts = await json(port, '/api/trace');
  const frames = await json(port, '/api/frames');
  const calls = facts.calls;
  const F = frames.length;
  check(F === facts.frames && F > 0 && calls > 0, `/api/trace and /api/frames disagree or are empty`);
  const last = calls - 1;
  const host = `127.0.0.1:${port}`;
  const big = 'a'.repeat(9000);

  // [status, target] or [status, request fields]; every target is asked with GET unless said.
  const table = [
    [200, '/'], [200, '/index.html'], [200, '/api/trace'], [200, '/api/trace?'], [200, '/api/frames'],
    [200, '/api/frame/0/calls'], [200, `/api/frame/${F - 1}/calls`],
    [200, `/api/frame/0/calls?first=${frames[0].firstCall}&count=5000`], [200, '/api/frame/0/calls?count=1'],
    [200, '/api/call/0/state'], [200, `/api/call/${last}/state`], [200, `/api/call/${last}/image.png`],
    [200, `/api/call/${last}/image.png?view=before`], [200, `/api/call/${last}/image.png?view=difference`],
    [200, `/api/call/${last}/texture.png`], [200, `/api/call/${last}/lightmap.png`],
    [200, '/api/frame/0/pixel?x=0&y=0'], [200, '/api/frame/0/overdraw.png'], [200, '/api/frame/0/overdraw'],
    [200, '/api/frame/0/thumbnail.png'], [200, '/api/frame/0/thumbnail.png?width=16'],
    [200, { method: 'HEAD', target: '/' }], [200, { target: '/', host: `localhost:${port}` }],
    [200, { target: '/', host: `LocalHost:${port}` }], [200, { target: '/', headers: ['Content-Length: 0'] }],
    // Numbers: plain decimal within range, or 400; a frame or call beyond the trace, 404.
    [400, '/api/frame/0/calls?count=5001'], [400, '/api/frame/0/calls?count=0'], [400, '/api/frame/0/calls?count=+5'],
    [400, '/api/frame/0/calls?count=-1'], [400, '/api/frame/0/calls?count=0x10'], [400, '/api/frame/0/calls?first=1e3'],
    [400, '/api/frame/0/calls?first=123456789012345678901'], [400, '/api/frame/0/calls?first=18446744073709551616'],
    [400, '/api/frame/0/calls?first= 1'], [400, '/api/frame/0/pixel?x=0'], [400, '/api/frame/0/pixel?x=-1&y=0'],
    [400, '/api/frame/0/pixel?x=2147483648&y=0'], [400, '/api/frame/0/pixel?x=%30&y=0'],
    [400, '/api/frame/0/thumbnail.png?width=15'], [400, '/api/frame/0/thumbnail.png?width=513'],
    [400, '/api/call/0/image.png?view=sideways'], [400, '/api/call/0/image.png?view=After'],
    [404, `/api/frame/${F}/calls`], [404, `/api/frame/${F}/overdraw`], [404, `/api/frame/${F}/thumbnail.png`],
    [404, `/api/call/${calls}/state`], [404, `/api/call/${calls}/image.png`], [404, '/api/call/18446744073709551615/state'],
    [404, '/api/frame/0/pixel?x=2147483647&y=0'],
    // Query parameters: only those of the route, each once, NAME=VALUE.
    [400, '/api/trace?x=1'], [400, '/?v=1'], [400, '/api/frame/0/calls?bogus=1'], [400, '/api/frame/0/calls?count=1&count=2'],
    [400, '/api/frame/0/calls?count'], [400, '/api/frame/0/calls?&count=1'], [400, '/api/call/0/state?view=after'],
    [400, '/api/frame/0/overdraw?width=16'],
    // Paths that are not routes.
    [404, '/api'], [404, '/api/'], [404, '/api/trace/'], [404, '/api//trace'], [404, '//index.html'], [404, '/index.html/'],
    [404, '/INDEX.HTML'], [404, '/../index.html'], [404, '/%2e%2e/index.html'], [404, '/..%2findex.html'],
    [404, '/api%2ftrace'], [404, '/api/call/0/../0/state'], [404, '/api/call/%30/state'], [404, '/api/call/-1/state'],
    [404, '/api/call/+1/state'], [404, '/api/call/99999999999999999999999/state'], [404, '/api/call/0/State'],
    [404, '/api/call/0/image.png/x'], [404, '/api/frame/0/image.png'], [404, '/api/call/0/calls'], [404, '/tools/replay/web/index.html'],
    [404, `http://${host}/api/trace`], [404, '/api/trace#x'], [404, '/etc/passwd'], [404, '/api/frame/x/calls'],
    // Methods.
    [405, { method: 'POST', target: '/' }], [405, { method: 'PUT', target: '/api/trace' }], [405, { method: 'DELETE', target: '/' }],
    [405, { method: 'OPTIONS', target: '*' }],
    // Host: this server's name and port only.
    [400, { target: '/api/trace', host: null }], [400, { target: '/api/trace', host: 'evil.example' }],
    [400, { target: '/api/trace', host: '127.0.0.1' }], [400, { target: '/api/trace', host: `127.0.0.1:${port + 1}` }],
    [400, { target: '/api/trace', host: `127.0.0.1.evil.example:${port}` }], [400, { target: '/api/trace', host: `evil.example:${port}` }],
    [400, { target: '/api/trace', headers: ['Host: evil.example'] }],
    // Malformed requests, bodies, sizes.
    [400, { raw: 'GARBAGE\r\n\r\n' }], [400, { raw: `GET / HTTP/1.1\r\nHost ${host}\r\n\r\n` }],
    [400, { target: `/${big}` }], [400, { target: '/', headers: [`X-Big: ${big}`] }],
    [400, { target: '/', headers: ['Content-Length: 5'], body: 'hello' }],
    [400, { target: '/', headers: ['Transfer-Encoding: chunked'], body: '0\r\n\r\n' }],
  ];
  const replies = {};
  for (const [status, request] of table) {
    const fields = typeof request === 'string' ? { target: request } : request;
    const text = fields.raw ?? requestText(port, fields);
    const what = `${fields.method ?? 'GET'} ${(fields.target ?? JSON.stringify(fields.raw)).slice(0, 80)}` +
      (fields.host !== undefined ? ` Host ${fields.host}` : '') + (fields.headers ? ` ${fields.headers[0].slice(0, 30)}` : '');
    let r;
    try {
      r = await exchange(port, text);
    } catch (e) {
      check(false, `${what}: ${e.message}`);
      continue;
    }
    check(r.status === status, `${what}: ${r.status}, expected ${status}: ${r.body.toString('utf8').slice(0, 200)}`);
    checkReply(what, r);
    replies[what] = r;
  }
  const page = replies['GET /'];
  check(page.headers['content-type'] === 'text/html; charset=utf-8', `/: Content-Type ${page.headers['content-type']}`);
  check(page.headers['content-security-policy'] === "default-src 'self'; img-src 'self' blob: data:",
    `/: Content-Security-Policy ${page.headers['content-security-policy']}`);
  check(/<html/i.test(page.body.toString('utf8')), '/: not HTML');
  const head = replies['HEAD /'];
  check(head.body.length === 0 && head.headers['content-length'] === String(page.body.length), 'HEAD /: a body, or another length');
  check(replies['POST /'].headers.allow === 'GET, HEAD', `POST /: Allow ${replies['POST /'].headers.allow}`);
  check(replies[`GET /api/call/${last}/image.png`].headers['content-type'] === 'image/png', 'image.png: not image/png');

  // Kept alive: two requests written at once are answered in order on one connection.
  const two = await exchange(port, `GET /api/trace HTTP/1.1\r\nHost: ${host}\r\n\r\n` +
    requestText(port, { target: '/index.html' }));
  check((two.raw.toString('latin1').match(/HTTP\/1\.1 200 OK\r\n/g) ?? []).length === 2, 'keep-alive: not two replies');

  // Requests for the same view at once: each is answered, the image or 409 (superseded).
  const burst = await Promise.all(Array.from({ length: 24 }, (_, i) => get(port, `/api/call/${i % calls}/image.png`)));
  for (const r of burst) {
    const text = r.body.toString('utf8');
    check(r.status === 200 || (r.status === 409 && /superseded/.test(text)), `burst: ${r.status} ${text.slice(0, 100)}`);
  }
  check(burst.some((r) => r.status === 200), 'burst: no image');

  // Loopback only: the machine's other addresses refuse the port.
  const others = Object.values(os.networkInterfaces()).flat()
    .filter((a) => !a.internal && !a.address.startsWith('fe80')).map((a) => a.address);
  for (const address of [...others, '::1']) {
    const reached = await exchange(port, requestText(port, { target: '/' }), address).then(() => true, () => false);
    check(!reached, `the server answers on ${address}`);
  }
  if (others.length === 0) console.log('serve_api: this machine has no address besides the loopback ones');

  // SIGINT: exit status 0 within a few seconds.
  const started = Date.now();
  server.child.kill('SIGINT');
  const timer = setTimeout(() => server.child.kill('SIGKILL'), 10000);
  const { code, signal } = await server.exited;
  clearTimeout(timer);
  check(code === 0 && Date.now() - started < 5000, `SIGINT: exit ${code ?? signal} after ${Date.now() - started} ms`);
  const superseded = burst.filter((r) => r.status === 409).length;
  console.log(`serve_api: ${table.length} requests, keep-alive, a burst of ${burst.length} (${superseded} superseded), ` +
    `${others.length + 1} other addresses, SIGINT`);
}

async function underWine(replay, trace, wine, exe, wineserver, environment) {
  const env = { ...process.env };
  for (const item of environment) {
    const equals = item.indexOf('=');
    env[item.slice(0, equals)] = item.slice(equals + 1);
  }
  const windows = await startServer(wine, [exe, '--serve', '--port', '0', trace], env);
  const nativeServer = await startServer(replay, ['--serve', '--port', '0', trace]);
  try {
    const list = await json(windows.port, '/api/frame/0/calls');
    check(JSON.stringify(list) === JSON.stringify(await json(nativeServer.port, '/api/frame/0/calls')),
      'frame 0 calls: the Windows tool lists them otherwise');
    const entry = list.entries.find((e) => e.changed?.pixels > 0) ?? list.entries.at(-1);
    const call = entry.index;
    const target = `/api/call/${call}/image.png`;
    const [w, n] = [await get(windows.port, target), await get(nativeServer.port, target)];
    checkReply(`wine ${target}`, w);
    check(w.status === 200 && w.headers['content-type'] === 'image/png', `wine ${target}: ${w.status}`);
    check(n.status === 200 && Buffer.compare(w.body, n.body) === 0, `${target}: not the native server's bytes`);
    console.log(`serve_api (wine): frame 0's ${list.entries.length} calls, call ${call}'s image: ${w.body.length} bytes`);
  } finally {
    nativeServer.child.kill('SIGINT');
    windows.child.kill('SIGKILL');
    await windows.exited;
    // The Windows process and the wineserver of this prefix, gone.
    spawnSync(wineserver, ['-k'], { env });
    spawnSync(wineserver, ['-w'], { env, timeout: 30000 });
  }
}

const [mode, ...args] = process.argv.slice(2);
try {
  if (mode === 'native') await native(args[0], args[1]);
  else if (mode === 'wine') await underWine(args[0], args[1], args[2], args[3], args[4], args.slice(5));
  else throw new Error('usage: serve_api.mjs native REPLAY TRACE | wine REPLAY TRACE WINE EXE WINESERVER [NAME=VALUE ...]');
} catch (e) {
  failures.push(e.stack ?? String(e));
}
if (failures.length) {
  console.error(`serve_api: ${failures.length} failed:\n  ${failures.join('\n  ')}`);
  process.exit(1);
}
process.exit(0);
