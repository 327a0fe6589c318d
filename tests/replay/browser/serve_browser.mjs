// serve_browser.mjs: velkano-replay --serve's page in Debian's chromium, driven headless by
// playwright-core. It starts the server on a trace, selects a frame and a call, checks that the
// image canvas holds the pixels `--image-at` writes (after and before the call), clicks a pixel
// the call changed and checks the history list against `--pixel X,Y --frames F --json`, follows
// a history entry to its call, opens the overdraw view, steps a frame with the keyboard, reloads
// to the URL hash, saves a screenshot and stops the server with SIGINT.
//
// node serve_browser.mjs --replay PATH --trace PATH --work-dir DIR
import { execFileSync, spawn } from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';

const CHROMIUM = '/usr/bin/chromium';
const started = Date.now();
const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
for (const name of ['replay', 'trace', 'work-dir']) {
    if (!args[name]) fail(`usage: node serve_browser.mjs --replay PATH --trace PATH --work-dir DIR (no --${name})`);
}
const workDir = args['work-dir'];
fs.rmSync(workDir, { recursive: true, force: true });
fs.mkdirSync(workDir, { recursive: true });

function fail(message) {
    console.error(`serve_browser: FAILED: ${message}`);
    process.exitCode = 1;
    throw new Error(message);
}
function check(condition, message) {
    if (!condition) fail(message);
}
const log = (message) => console.log(`serve_browser: ${message} (${((Date.now() - started) / 1000).toFixed(1)} s)`);

let chromium;
try {
    ({ chromium } = await import('playwright-core'));
} catch (error) {
    fail(`playwright-core is not installed: run "npm ci" in ${path.dirname(new URL(import.meta.url).pathname)} ` +
        `(scripts/install-deps.sh does it): ${error.message}`);
}
check(fs.existsSync(CHROMIUM), `${CHROMIUM} is missing: install Debian's chromium (scripts/install-deps.sh does it)`);

const tool = (...toolArgs) => execFileSync(args.replay, [...toolArgs, args.trace], { maxBuffer: 1 << 28 });
const png = (call) => {
    const out = path.join(workDir, `image-at-${call}.png`);
    tool('--image-at', String(call), out);
    return fs.readFileSync(out).toString('base64');
};

// --- the server ----------------------------------------------------------------------------------

const server = spawn(args.replay, ['--serve', '--port', '0', args.trace], { stdio: ['ignore', 'pipe', 'inherit'] });
const exited = new Promise((resolve) => server.on('exit', (code, signal) => resolve({ code, signal })));
const watchdog = setTimeout(() => {
    console.error('serve_browser: FAILED: still running after 110 s');
    server.kill('SIGKILL');
    process.exit(1);
}, 110000);

let browser;
try {
    const base = await new Promise((resolve, reject) => {
        let out = '';
        const timer = setTimeout(() => reject(new Error(`no URL from the server within 60 s; it said: ${out}`)), 60000);
        server.stdout.on('data', (chunk) => {
            out += chunk;
            const match = /serving .* at (http:\/\/127\.0\.0\.1:\d+\/)/.exec(out);
            if (match) {
                clearTimeout(timer);
                resolve(match[1]);
            }
        });
        exited.then(({ code, signal }) => {
            clearTimeout(timer);
            reject(new Error(`the server stopped (${code ?? signal}): ${out}`));
        });
    });
    log(`server at ${base}`);
    const api = async (route) => {
        const reply = await fetch(new URL(route, base));
        const body = await reply.text();
        check(reply.ok, `${route}: ${reply.status} ${body}`);
        return JSON.parse(body);
    };

    // The frame with the most changed pixels; in it the last draw that changed pixels right after
    // another call (no host image between), so that its before image is the previous call's.
    const frames = await api('api/frames');
    const frame = frames.filter((f) => f.finished).reduce((a, b) => (b.changedPixels > a.changedPixels ? b : a));
    const page1 = await api(`api/frame/${frame.frame}/calls?first=${frame.firstCall}&count=1000`);
    const hostAfter = new Set(page1.images.map((i) => i.afterCall));
    const candidates = page1.entries.filter((e) => e.changed && e.changed.pixels > 0 && e.index > frame.firstCall &&
        !hostAfter.has(e.index - 1));
    check(candidates.length > 0, `frame ${frame.frame} has no call that changed pixels`);
    const draws = candidates.filter((e) => e.entry.startsWith('DRAW'));  // other draws overlap theirs
    const chosen = (draws.length ? draws : candidates).at(-1);
    const call = chosen.index;
    const F = frame.frame;
    log(`frame ${F}, call ${call}`);

    browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: ['--no-sandbox'] });
    const page = await browser.newPage({ viewport: { width: 1400, height: 860 } });
    page.setDefaultTimeout(15000);
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(error.message));
    const canvasShows = (n, view) => page.waitForSelector(`#image-canvas[data-call="${n}"][data-view="${view}"]`);

    await page.goto(base);
    await page.waitForFunction((n) => document.querySelectorAll('#frame-strip [data-frame]').length === n, frames.length);
    await page.click(`#frame-strip [data-frame="${F}"]`);
    await canvasShows(frame.firstCall + frame.calls - 1, 'after');  // a frame opens on its last call
    await page.click(`#call-list [data-call="${call}"]`);
    await canvasShows(call, 'after');
    check(new URL(page.url()).hash === `#frame=${F}&call=${call}`, `the URL hash is ${new URL(page.url()).hash}`);

    // The canvas against a PNG the tool wrote, both decoded by the browser; also finds the pixel
    // nearest the centre of `box` where two PNGs differ.
    const compare = (reference, other, box) => page.evaluate(async ({ reference, other, box }) => {
        const decode = async (base64) => {
            const img = new Image();
            img.src = `data:image/png;base64,${base64}`;
            await img.decode();
            const c = document.createElement('canvas');
            c.width = img.naturalWidth;
            c.height = img.naturalHeight;
            const g = c.getContext('2d');
            g.drawImage(img, 0, 0);
            return g.getImageData(0, 0, c.width, c.height);
        };
        const canvas = document.querySelector('#image-canvas');
        const shown = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
        const want = await decode(reference);
        const result = { width: shown.width, height: shown.height, wantWidth: want.width, wantHeight: want.height,
            differing: 0, first: null, changed: null };
        if (shown.width !== want.width || shown.height !== want.height) return result;
        for (let i = 0; i < want.data.length; i += 4) {
            if ([0, 1, 2, 3].some((k) => shown.data[i + k] !== want.data[i + k])) {
                if (!result.differing++) result.first = { at: i / 4, shown: [...shown.data.slice(i, i + 4)], want: [...want.data.slice(i, i + 4)] };
            }
        }
        if (other) {
            const before = await decode(other);
            const [cx, cy] = [(box[0] + box[2]) / 2, (box[1] + box[3]) / 2];
            let nearest = Infinity;
            for (let i = 0; i < want.data.length; i += 4) {
                const [x, y] = [(i / 4) % want.width, Math.floor(i / 4 / want.width)];
                const distance = (x - cx) ** 2 + (y - cy) ** 2;
                if (distance < nearest && [0, 1, 2].some((k) => before.data[i + k] !== want.data[i + k])) {
                    nearest = distance;
                    result.changed = { x, y };
                }
            }
        }
        return result;
    }, { reference, other, box });
    const sameImage = (result, what) => {
        check(result.width === result.wantWidth && result.height === result.wantHeight,
            `${what}: canvas ${result.width} x ${result.height}, --image-at ${result.wantWidth} x ${result.wantHeight}`);
        check(result.differing === 0, `${what}: ${result.differing} pixels differ from --image-at, the first ` +
            `${JSON.stringify(result.first)}`);
    };

    const afterPng = png(call);
    const beforePng = png(call - 1);
    const after = await compare(afterPng, beforePng, chosen.changed.box);
    sameImage(after, `the image after call ${call}`);
    check(after.changed, `--image-at ${call} and ${call - 1} are the same image`);
    await page.click('#view-before');
    await canvasShows(call, 'before');
    sameImage(await compare(beforePng), `the image before call ${call}`);
    await page.click('#view-difference');
    await canvasShows(call, 'difference');
    check((await compare(afterPng)).differing > 0, 'the difference view shows the image after the call');
    await page.click('#view-after');
    await canvasShows(call, 'after');
    log('after, before and difference images checked');

    // The history of a pixel the call changed, clicked at 8x zoom.
    const { x, y } = after.changed;
    await page.selectOption('#zoom', '8');
    const box = await page.locator('#image-canvas').boundingBox();
    const scale = box.width / after.width;
    await page.locator('#image-canvas').click({ position: { x: (x + 0.5) * scale, y: (y + 0.5) * scale } });
    await page.waitForSelector(`#pixel-history[data-pixel="${x},${y}"]`);
    const shown = await page.$$eval('#pixel-history li.event', (items) => items.map((li) => ({ ...li.dataset })));
    const history = JSON.parse(tool('--pixel', `${x},${y}`, '--frames', String(F), '--json'));
    const expected = history.events.map((e) => {
        const entry = { kind: e.kind };
        if (e.kind === 'host') entry.afterCall = String(e.afterCall);
        else entry.call = String(e.call);
        if (e.kind === 'wrote' || e.kind === 'host') Object.assign(entry, { before: e.before, after: e.after });
        else entry.value = e.value ?? '';
        return entry;
    });
    check(JSON.stringify(shown) === JSON.stringify(expected), `pixel (${x}, ${y}) in frame ${F}: the page lists\n` +
        `${JSON.stringify(shown)}\n--pixel --json has\n${JSON.stringify(expected)}`);
    check(shown.some((e) => e.call === String(call) && e.kind === 'wrote'), `the history lacks call ${call}'s write`);
    await page.screenshot({ path: path.join(workDir, 'page.png') });
    log(`history of (${x}, ${y}) checked: ${shown.length} entries; screenshot ${path.join(workDir, 'page.png')}`);

    // A history entry selects its call; the state panel follows.
    const other = shown.find((e) => e.call !== undefined && e.call !== String(call));
    check(other, `the history of (${x}, ${y}) names no call but ${call}`);
    await page.click(`#pixel-history li[data-call="${other.call}"]`);
    await canvasShows(other.call, 'after');
    await page.waitForSelector(`#call-list .call.selected[data-call="${other.call}"]`);
    await page.waitForSelector(`#state-panel[data-call="${other.call}"]`);
    const rowText = await page.textContent(`#call-list [data-call="${other.call}"] .text`);
    check((await page.textContent('#state-panel')).includes(rowText), 'the state panel does not show the call');

    await page.click('#view-overdraw');
    await page.waitForSelector(`#overdraw-view[data-frame="${F}"]`);
    await page.waitForFunction(() => document.querySelector('#overdraw-image').naturalWidth > 0);
    await page.click('#view-after');

    // The keyboard moves to the next frame; a reload comes back to the hash.
    if (F + 1 < frames.length) {
        await page.keyboard.press('ArrowRight');
        await page.waitForSelector(`#frame-strip .frame.selected[data-frame="${F + 1}"]`);
        await canvasShows(frames[F + 1].firstCall + frames[F + 1].calls - 1, 'after');
    }
    await page.goto(`${base}#frame=${F}&call=${call}`);
    await page.reload();
    await canvasShows(call, 'after');
    check(pageErrors.length === 0, `the page threw: ${pageErrors.join('; ')}`);
    log('history entry, state panel, overdraw view, keys and reload checked');

    await browser.close();
    browser = null;
    server.kill('SIGINT');
    let timer;
    const stop = await Promise.race([exited, new Promise((resolve) => (timer = setTimeout(resolve, 10000, null)))]);
    clearTimeout(timer);
    check(stop !== null, 'the server did not stop within 10 s of SIGINT');
    check(stop.code === 0, `the server stopped with ${stop.code ?? stop.signal} after SIGINT`);
    log('the server stopped on SIGINT; all checks passed');
} catch (error) {
    if (!process.exitCode) console.error(`serve_browser: FAILED: ${error.stack || error}`);
    process.exitCode = 1;
} finally {
    if (browser) await browser.close();
    if (server.exitCode === null && server.signalCode === null) server.kill('SIGKILL');
    clearTimeout(watchdog);
}
