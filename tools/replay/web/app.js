// app.js: the frame debugger's page. It asks velkano-replay's server for JSON and PNGs and shows
// one trace: a strip of its frames, the calls of the chosen frame, the image after the chosen
// call, a pixel's history in the frame, the state at the call and the frame's overdraw.
// Requests the user has moved past are aborted; the URL hash keeps the frame and the call.
'use strict';

const ENTRY_POINTS = ['INIT@16', 'UNLOAD@0', 'BEGINUPDATE@0', 'ENDUPDATE@0', 'PAUSE@4', 'SETTEXTURE@20',
    'SETLIGHTMAP@12', 'FLASHADD@4', 'FLASHSUB@4', 'FLASHMOD@4', 'DRAWTRI@12', 'DRAWPERSPTRI@16', 'DRAWTILE@44'];
const ZOOMS = [1, 2, 4, 8, 16];
const PAGE = 1000;  // calls asked for at a time

const $ = (selector) => document.querySelector(selector);
const app = {
    frames: [], frame: -1, call: -1, view: 'after',
    list: null,   // the chosen frame's calls: {frame, end, next, entries: Map index -> entry}
    pixel: null,  // {x, y} of the pixel whose history is shown
    urls: {},     // object URLs by slot, revoked when replaced
};

// --- requests: one channel per kind of question, a newer request aborts the older one --------

class RequestError extends Error {
    constructor(status, message) { super(message); this.status = status; }
}
const inflight = {};

// The reply as JSON or a Blob, or null when a newer request in the channel replaced this one.
async function ask(channel, url, as = 'json') {
    if (inflight[channel]) inflight[channel].abort();
    const control = new AbortController();
    inflight[channel] = control;
    try {
        const reply = await fetch(url, { signal: control.signal });
        if (reply.status === 409) return null;  // the server dropped it for a newer one
        if (!reply.ok) {
            let message = reply.statusText;
            try { message = (await reply.json()).error; } catch (_) { /* not JSON */ }
            throw new RequestError(reply.status, message);
        }
        const body = as === 'json' ? await reply.json() : await reply.blob();
        return inflight[channel] === control ? body : null;
    } catch (error) {
        if (error.name === 'AbortError') return null;
        throw error;
    } finally {
        if (inflight[channel] === control) delete inflight[channel];
    }
}

function objectUrl(slot, blob) {
    if (app.urls[slot]) URL.revokeObjectURL(app.urls[slot]);
    app.urls[slot] = URL.createObjectURL(blob);
    return app.urls[slot];
}

function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
}

function showError(where, error) {
    where.textContent = error instanceof RequestError ? `${error.status}: ${error.message}` : String(error);
    where.classList.add('error');
}

// --- the trace and its frames ----------------------------------------------------------------

async function start() {
    buildEntryFilter();
    const [facts, frames] = await Promise.all([ask('trace', '/api/trace'), ask('frames', '/api/frames')]);
    showFacts(facts);
    app.frames = frames;
    buildStrip();
    applyHash();
    window.addEventListener('hashchange', applyHash);
}

function showFacts(facts) {
    $('#trace-name').textContent = facts.trace;
    const h = facts.header || {};
    const cp = facts.checkpoints || {};
    $('#trace-facts').textContent = `${facts.calls} calls, ${facts.frames} frames (${facts.finishedFrames} finished)` +
        ` · recorded by Velkano ${h.library} on ${h.platform}, ${h.mode} mode · replayed by ${facts.library}` +
        ` · ${cp.count} checkpoints ${apart(cp)}, ${mib(cp.bytes)} of ${mib(cp.limitBytes)}` +
        ` · loaded in ${Number(facts.load && facts.load.seconds).toFixed(2)} s`;
    if (facts.problem) {
        $('#problem').textContent = `problem: ${facts.problem}`;
        $('#problem').hidden = false;
    }
}

const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
const apart = (cp) => `every ${Number(cp.secondsApart).toFixed(2)} s of replay`;
const mib = (bytes) => `${(bytes / 1048576).toFixed(1)} MiB`;

// Thumbnails load two at a time, those in view (or near it) only, so that they never hold the
// browser's few connections to the server while the page waits for an answer.
const thumbnails = { queue: [], loading: 0 };

function pumpThumbnails() {
    while (thumbnails.loading < 2 && thumbnails.queue.length) {
        const img = thumbnails.queue.shift();
        thumbnails.loading += 1;
        const done = () => {
            thumbnails.loading -= 1;
            pumpThumbnails();
        };
        img.addEventListener('load', done, { once: true });
        img.addEventListener('error', done, { once: true });
        img.src = img.dataset.src;
    }
}

function buildStrip() {
    const strip = $('#frame-strip');
    const lazy = new IntersectionObserver((seen) => {
        for (const item of seen) {
            const img = item.target.querySelector('img');
            if (!img || img.src) continue;
            const queued = thumbnails.queue.indexOf(img);
            if (item.isIntersecting && queued < 0) thumbnails.queue.push(img);
            if (!item.isIntersecting && queued >= 0) thumbnails.queue.splice(queued, 1);
        }
        pumpThumbnails();
    }, { root: strip, rootMargin: '0px 300px' });
    for (const f of app.frames) {
        const cell = element('div', 'frame');
        cell.dataset.frame = f.frame;
        cell.title = `frame ${f.frame}: calls ${f.firstCall}-${f.firstCall + f.calls - 1}, ` +
            `${f.changedPixels} pixel changes${f.finished ? '' : ', unfinished'}`;
        if (f.width > 0) {
            const img = element('img');
            img.alt = '';
            img.dataset.src = `/api/frame/${f.frame}/thumbnail.png?width=160`;
            cell.append(img);
        } else {
            cell.append(element('div', 'no-image', 'no image'));
        }
        cell.append(element('div', 'frame-label', `${f.frame}${f.finished ? '' : '*'} · ${f.calls} calls`));
        cell.addEventListener('click', () => selectFrame(f.frame));
        strip.append(cell);
        lazy.observe(cell);
    }
}

function applyHash() {
    const hash = new URLSearchParams(location.hash.slice(1));
    let frame = Number.parseInt(hash.get('frame'), 10);
    const call = Number.parseInt(hash.get('call'), 10);
    if (!(frame >= 0 && frame < app.frames.length)) frame = frameOfCall(call);
    if (!(frame >= 0)) frame = 0;
    if (frame === app.frame && call === app.call) return;
    if (app.frames.length) selectFrame(frame, call);
}

function frameOfCall(call) {
    const f = app.frames.find((x) => call >= x.firstCall && call < x.firstCall + x.calls);
    return f ? f.frame : -1;
}

function writeHash() {
    history.replaceState(null, '', `#frame=${app.frame}&call=${app.call}`);
}

// --- the call list -----------------------------------------------------------------------------

async function selectFrame(frame, call) {
    const f = app.frames[frame];
    if (!f) return;
    app.frame = frame;
    for (const cell of document.querySelectorAll('#frame-strip .frame')) {
        cell.classList.toggle('selected', Number(cell.dataset.frame) === frame);
    }
    const cell = $(`#frame-strip [data-frame="${frame}"]`);
    if (cell) cell.scrollIntoView({ block: 'nearest', inline: 'nearest' });
    app.list = { frame, end: f.firstCall + f.calls, next: f.firstCall, entries: new Map() };
    $('#call-list').replaceChildren();
    $('#call-summary').textContent = `frame ${frame}: calls ${f.firstCall}-${app.list.end - 1}`;
    if (app.view === 'overdraw') loadOverdraw();
    if (app.pixel) loadPixel();
    const wanted = call >= f.firstCall && call < app.list.end ? call : app.list.end - 1;
    if (await loadCallsUpTo(wanted)) selectCall(wanted);
}

// Loads pages of the frame's calls until `call` is among them; false if the frame changed.
async function loadCallsUpTo(call) {
    const list = app.list;
    while (list.next <= call && list.next < list.end) {
        if (!(await loadMoreCalls(Math.min(5000, Math.max(PAGE, call - list.next + 1))))) return false;
    }
    return app.list === list;
}

async function loadMoreCalls(count = PAGE) {
    const list = app.list;
    if (list.next >= list.end) return true;
    let page;
    try {
        page = await ask('calls', `/api/frame/${list.frame}/calls?first=${list.next}&count=${count}`);
    } catch (error) {
        showError($('#call-summary'), error);
        return false;
    }
    if (!page || app.list !== list || page.first !== list.next) return false;
    // Calls and the host's image records in the order of the trace.
    const rows = document.createDocumentFragment();
    const records = [...page.entries, ...(page.images || [])].sort((a, b) => a.offset - b.offset);
    for (const record of records) {
        if (record.kind !== undefined) {
            rows.append(imageRow(record));
            continue;
        }
        list.entries.set(record.index, record);
        rows.append(callRow(record));
    }
    if (page.entries.length) list.next = page.entries[page.entries.length - 1].index + 1;
    $('#call-list').append(rows);
    $('#more-calls').hidden = list.next >= list.end;
    applyFilters();
    return true;
}

function changedText(changed) {
    if (!changed) return '';
    return changed.pixels ? `changed ${changed.pixels} px` : 'changed nothing';
}

function callRow(entry) {
    const row = element('div', 'call');
    row.dataset.call = entry.index;
    row.dataset.entry = entry.entry;
    row.append(element('span', 'index', entry.index), element('span', 'text', entry.text),
        element('span', 'changed', changedText(entry.changed)));
    if (entry.changed && entry.changed.box) {
        const [x0, y0, x1, y1] = entry.changed.box;
        row.title = `changed ${entry.changed.pixels} px in x ${x0}-${x1}, y ${y0}-${y1}`;
    }
    return row;
}

function imageRow(image) {
    const row = element('div', 'image-record');
    row.dataset.afterCall = image.afterCall === null ? '' : image.afterCall;
    const hash = image.content && image.content.hash ? ` #${image.content.hash}` : '';
    const what = image.kind === 'image' ? `the host wrote the image${hash}` : `image hash${hash}`;
    row.textContent = `${what}  ${changedText(image.changed)}`;
    row.dataset.changed = image.changed ? image.changed.pixels : 0;
    return row;
}

function buildEntryFilter() {
    const box = $('#entry-checks');
    for (const name of ENTRY_POINTS) {
        const label = element('label');
        const check = element('input');
        check.type = 'checkbox';
        check.checked = true;
        check.value = name;
        label.append(check, ` ${name}`);
        box.append(label);
    }
    box.addEventListener('change', applyFilters);
    $('#text-filter').addEventListener('input', applyFilters);
    $('#changed-only').addEventListener('change', applyFilters);
}

function applyFilters() {
    const entries = new Set([...document.querySelectorAll('#entry-checks input:checked')].map((c) => c.value));
    const text = $('#text-filter').value.trim().toLowerCase();
    const changedOnly = $('#changed-only').checked;
    const narrowed = text !== '' || entries.size !== ENTRY_POINTS.length;
    for (const row of $('#call-list').children) {
        let show;
        if (row.classList.contains('call')) {
            const entry = app.list.entries.get(Number(row.dataset.call));
            show = entries.has(entry.entry) && (!changedOnly || (entry.changed && entry.changed.pixels > 0)) &&
                (text === '' || `${entry.index} ${entry.text}`.toLowerCase().includes(text));
        } else {
            show = !narrowed && (!changedOnly || Number(row.dataset.changed) > 0);
        }
        row.hidden = !show;
    }
}

// --- the chosen call: its image, its changed box, its state -----------------------------------

function selectCall(call) {
    const row = $(`#call-list [data-call="${call}"]`);
    if (!row) return;
    app.call = call;
    for (const old of document.querySelectorAll('#call-list .selected')) old.classList.remove('selected');
    row.classList.add('selected');
    row.scrollIntoView({ block: 'nearest' });
    writeHash();
    markHistory();
    loadImage();
    loadState();
}

async function stepCall(direction) {
    const rows = [...document.querySelectorAll('#call-list .call:not([hidden])')];
    const at = rows.findIndex((row) => Number(row.dataset.call) === app.call);
    let next = rows[at + direction];
    if (!next && direction > 0 && app.list.next < app.list.end) {
        if (await loadMoreCalls()) return stepCall(direction);
    }
    if (next) selectCall(Number(next.dataset.call));
}

async function loadImage() {
    const canvas = $('#image-canvas');
    const call = app.call;
    const view = app.view;
    canvas.removeAttribute('data-call');
    canvas.removeAttribute('data-view');
    if (view === 'overdraw') return;
    $('#image-caption').textContent = `${view} call ${call} …`;
    let blob;
    try {
        blob = await ask('image', `/api/call/${call}/image.png?view=${view}`, 'blob');
    } catch (error) {
        canvas.width = canvas.height = 1;
        showError($('#image-caption'), error);
        return;
    }
    if (!blob) return;
    const bitmap = await createImageBitmap(blob, { colorSpaceConversion: 'none', premultiplyAlpha: 'none' });
    if (call !== app.call || view !== app.view) return;
    canvas.width = bitmap.width;
    canvas.height = bitmap.height;
    canvas.getContext('2d', { willReadFrequently: true }).drawImage(bitmap, 0, 0);
    bitmap.close();
    canvas.dataset.call = call;
    canvas.dataset.view = view;
    $('#image-caption').classList.remove('error');
    $('#image-caption').textContent = `${view} call ${call}, ${canvas.width} x ${canvas.height}`;
    layoutImage();
}

// The zoom for a picture of `width` x `height`: the one chosen, or the one that fits the panel.
function imageScale(width = $('#image-canvas').width, height = $('#image-canvas').height, below = 8) {
    const zoom = $('#zoom').value;
    if (zoom !== 'fit') return Number(zoom);
    const area = $('#image-scroll');
    return Math.max(0.05, Math.min(16, (area.clientWidth - 8) / width, (area.clientHeight - below) / height));
}

// Sizes the canvas by the zoom (CSS scales it) and places the changed box and the pixel mark;
// the overdraw picture follows the same zoom.
function layoutImage() {
    const overdraw = $('#overdraw-image');
    if (overdraw.naturalWidth) {
        overdraw.style.width = `${overdraw.naturalWidth * imageScale(overdraw.naturalWidth, overdraw.naturalHeight, 40)}px`;
    }
    const canvas = $('#image-canvas');
    const scale = imageScale();
    const stack = $('#image-stack');
    stack.style.width = `${canvas.width * scale}px`;
    stack.style.height = `${canvas.height * scale}px`;
    const entry = app.list && app.list.entries.get(app.call);
    placeBox($('#changed-box'), entry && entry.changed && entry.changed.box, scale);
    const p = app.pixel;
    placeBox($('#pixel-mark'), p && [p.x, p.y, p.x, p.y], scale);
}

function placeBox(node, box, scale) {
    node.hidden = !box;
    if (!box) return;
    const [x0, y0, x1, y1] = box;
    Object.assign(node.style, { left: `${x0 * scale}px`, top: `${y0 * scale}px`,
        width: `${(x1 - x0 + 1) * scale}px`, height: `${(y1 - y0 + 1) * scale}px` });
}

function pixelAt(event) {
    const canvas = $('#image-canvas');
    const rect = canvas.getBoundingClientRect();
    const x = Math.floor(((event.clientX - rect.left) / rect.width) * canvas.width);
    const y = Math.floor(((event.clientY - rect.top) / rect.height) * canvas.height);
    return x >= 0 && y >= 0 && x < canvas.width && y < canvas.height ? { x, y } : null;
}

const hex2 = (n) => n.toString(16).padStart(2, '0');

function showPixelUnderMouse(event) {
    const p = pixelAt(event);
    if (!p || !$('#image-canvas').dataset.call) return;
    const [r, g, b] = $('#image-canvas').getContext('2d', { willReadFrequently: true }).getImageData(p.x, p.y, 1, 1).data;
    // The PNG carries red, green and blue only: the X byte is in the pixel's history.
    $('#pixel-readout').textContent = `(${p.x}, ${p.y})  0x··${hex2(r)}${hex2(g)}${hex2(b)}  (${r}, ${g}, ${b})`;
}

function setView(view) {
    app.view = view;
    for (const button of document.querySelectorAll('#image-panel .switch button')) {
        button.classList.toggle('on', button.dataset.view === view);
    }
    const overdraw = view === 'overdraw';
    $('#overdraw-view').hidden = !overdraw;
    $('#image-stack').hidden = overdraw;
    if (overdraw) loadOverdraw();
    else loadImage();
}

async function loadState() {
    const panel = $('#state-panel');
    const call = app.call;
    panel.removeAttribute('data-call');
    let state;
    try {
        state = await ask('state', `/api/call/${call}/state`);
    } catch (error) {
        showError(panel, error);
        return;
    }
    if (!state || call !== app.call) return;
    panel.classList.remove('error', 'hint');
    panel.replaceChildren();
    const section = (title, lines) => {
        const block = element('section');
        block.append(element('h3', '', title));
        for (const line of lines) block.append(element('div', 'line', line));
        panel.append(block);
        return block;
    };
    section('call', [state.call.text]);
    const t = state.target;
    section('target', t ? [`INIT call ${t.initCall}: ${t.address}, ${t.width} x ${t.height}, pitch ${t.pitch}`,
        t.image ? `image #${t.image.hash} (${t.image.source}, call ${t.image.call})` : `image ${t.imageNote}`]
        : ['no INIT yet']);
    const x = state.texture;
    const texture = section('texture', x ? [`SETTEXTURE call ${x.setTextureCall}: ${x.address}, ${x.width} x ${x.height}`,
        `palette ${x.paletteAddress}, blend mode ${blendText(x.blendMode)}`, recorded('texels', x.texels),
        recorded('palette', x.palette)] : ['not bound']);
    if (x && x.texels) bindingImage(texture, 'texture', call);
    const l = state.lightmap;
    const lightmap = section('lightmap', l ? [`SETLIGHTMAP call ${l.setLightmapCall}: ${l.address}, ${l.width} x ${l.height}`,
        recorded('words', l.words)] : ['not bound']);
    if (l && l.words) bindingImage(lightmap, 'lightmap', call);
    section('frame counter', [`${state.frameCounter} (ENDUPDATEs so far)`]);
    const layers = state.layers;
    section('layers', [layers.present ? `present since INIT call ${layers.call} (${layers.bytes} bytes each)` : layers.state]);
    panel.dataset.call = call;
}

function blendText(mode) {
    if (!mode) return '';
    if (mode.triangles === null) return `${mode.value} (out of range: draws nothing)`;
    return mode.triangles === mode.tiles ? `${mode.value} (${mode.triangles})`
        : `${mode.value} (triangles: ${mode.triangles}; tiles: ${mode.tiles})`;
}

function recorded(what, content) {
    return content ? `${what} #${content.hash}, ${content.bytes} B, first recorded by call ${content.firstRecordedBy}` +
        `, latest by call ${content.latestRecordedBy}` : `${what}: not recorded yet`;
}

async function bindingImage(block, kind, call) {
    let blob;
    try {
        blob = await ask(kind, `/api/call/${call}/${kind}.png`, 'blob');
    } catch (error) {
        block.append(element('div', 'line error', `${kind}.png: ${error.message}`));
        return;
    }
    if (!blob || call !== app.call) return;
    const img = element('img', 'binding');
    img.src = objectUrl(kind, blob);
    img.alt = kind;
    img.addEventListener('load', () => {  // small bindings drawn larger, whole pixels
        img.style.width = `${img.naturalWidth * Math.max(1, Math.floor(192 / img.naturalWidth))}px`;
    });
    block.append(img);
}

async function loadOverdraw() {
    const view = $('#overdraw-view');
    const frame = app.frame;
    view.removeAttribute('data-frame');
    let png, summary;
    try {
        [png, summary] = await Promise.all([ask('overdraw.png', `/api/frame/${frame}/overdraw.png`, 'blob'),
            ask('overdraw', `/api/frame/${frame}/overdraw`)]);
    } catch (error) {
        $('#overdraw-image').removeAttribute('src');
        showError($('#overdraw-summary'), error);
        return;
    }
    if (!png || !summary || frame !== app.frame || app.view !== 'overdraw') return;
    $('#overdraw-image').src = objectUrl('overdraw', png);
    await $('#overdraw-image').decode().catch(() => {});
    layoutImage();
    $('#image-caption').textContent = `overdraw of frame ${frame}`;
    const s = summary;
    $('#overdraw-summary').classList.remove('error');
    $('#overdraw-summary').textContent = `frame ${s.frame}, ${s.width} x ${s.height}: ${s.changes} changes by ${s.calls} calls, ` +
        `${s.touched} pixels changed at least once; maximum ${s.maximum}` + (s.at ? ` at (${s.at[0]}, ${s.at[1]})` : '');
    view.dataset.frame = frame;
}

// --- pixel history -----------------------------------------------------------------------------

async function loadPixel() {
    const list = $('#pixel-history');
    const { x, y } = app.pixel;
    const frame = app.frame;
    list.removeAttribute('data-pixel');
    layoutImage();
    let history;
    try {
        history = await ask('pixel', `/api/frame/${frame}/pixel?x=${x}&y=${y}`);
    } catch (error) {
        list.replaceChildren();
        showError($('#pixel-title'), error);
        return;
    }
    if (!history || frame !== app.frame || app.pixel.x !== x || app.pixel.y !== y) return;
    $('#pixel-title').classList.remove('error', 'hint');
    $('#pixel-title').textContent = `(${x}, ${y}) in frame ${frame}: starts ${history.start ?? 'outside the image'}`;
    list.replaceChildren(...history.events.map(historyItem));
    const s = history.summary;
    list.append(element('li', 'summary', `${plural(s.callsChanged, 'call')} changed it, the host ` +
        `${plural(s.hostChanges, 'time')}; ` +
        `final ${s.final ?? 'outside the image'}`));
    list.dataset.pixel = `${x},${y}`;
    list.dataset.frame = frame;
    markHistory();
}

function historyItem(event) {
    const item = element('li', `event ${event.kind}`);
    item.dataset.kind = event.kind;
    let who;
    if (event.kind === 'host') {
        item.dataset.afterCall = event.afterCall;
        who = event.afterCall === null ? 'before the first call: the host' : `after call ${event.afterCall}: the host`;
    } else {
        item.dataset.call = event.call;
        who = `call ${event.call} ${event.entry}:`;
        item.addEventListener('click', async () => {
            if (await loadCallsUpTo(event.call)) selectCall(event.call);
        });
    }
    const values = [];
    if (event.kind === 'wrote' || event.kind === 'host') {
        item.dataset.before = event.before;
        item.dataset.after = event.after;
        values.push(`wrote ${event.before ?? 'outside the image'} -> `, event.after ?? 'outside the image');
    } else if (event.kind === 'init') {
        item.dataset.value = event.value ?? '';
        values.push(`bound a ${event.width} x ${event.height} image; ` +
            (event.inside ? 'holds ' : 'the pixel lies outside it'), event.inside ? event.value : null);
    } else {
        item.dataset.value = event.value ?? '';
        values.push(event.kind === 'covered' ? 'covered it, unchanged ' : "inside the triangle's box, unchanged ",
            event.value);
    }
    item.append(element('span', 'who', who), ' ', values[0]);
    if (values[1]) item.append(...(values[1].startsWith('0x') ? [swatch(values[1])] : []), values[1]);
    return item;
}

function swatch(word) {
    const box = element('span', 'swatch');
    box.style.background = `#${word.slice(4)}`;
    return box;
}

function markHistory() {
    for (const item of document.querySelectorAll('#pixel-history .event')) {
        item.classList.toggle('current', Number(item.dataset.call) === app.call);
    }
}

// --- input -------------------------------------------------------------------------------------

function wire() {
    $('#call-list').addEventListener('click', (event) => {
        const row = event.target.closest('.call');
        if (row) selectCall(Number(row.dataset.call));
    });
    $('#call-list').addEventListener('scroll', () => {
        const list = $('#call-list');
        if (list.scrollTop + list.clientHeight > list.scrollHeight - 200 && app.list && app.list.next < app.list.end &&
            !inflight.calls) loadMoreCalls();
    });
    $('#more-calls').addEventListener('click', () => loadMoreCalls());
    for (const button of document.querySelectorAll('#image-panel .switch button')) {
        button.addEventListener('click', () => setView(button.dataset.view));
    }
    $('#zoom').addEventListener('change', layoutImage);
    window.addEventListener('resize', layoutImage);
    const canvas = $('#image-canvas');
    canvas.addEventListener('mousemove', showPixelUnderMouse);
    canvas.addEventListener('click', (event) => {
        const p = pixelAt(event);
        if (!p) return;
        app.pixel = p;
        loadPixel();
    });
    $('#image-scroll').addEventListener('wheel', (event) => {
        if (!event.ctrlKey) return;
        event.preventDefault();
        const scale = imageScale();
        const next = event.deltaY < 0 ? ZOOMS.find((z) => z > scale) : [...ZOOMS].reverse().find((z) => z < scale);
        if (next) {
            $('#zoom').value = String(next);
            layoutImage();
        }
    }, { passive: false });
    document.addEventListener('keydown', (event) => {
        if (event.target.closest('input, select, textarea') || event.ctrlKey || event.altKey || event.metaKey) return;
        const moves = { ArrowLeft: () => selectFrame(app.frame - 1), ArrowRight: () => selectFrame(app.frame + 1),
            ArrowUp: () => stepCall(-1), ArrowDown: () => stepCall(1) };
        if (!moves[event.key]) return;
        event.preventDefault();
        moves[event.key]();
    });
}

wire();
start().catch((error) => {
    showError($('#problem'), error);
    $('#problem').hidden = false;
});
