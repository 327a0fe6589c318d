// picture.mjs: a screenshot of velkano-replay --serve's page, for the documentation
// (docs/frame-debugger.png is the demo's trace, frame 9, call 1651, pixel 220,120):
//   node picture.mjs --replay PATH --trace PATH --out PNG --frame F --call N --pixel X,Y
// It starts the server, opens the page on the frame and call, clicks the pixel at 2x zoom and
// saves the page as it stands; the server is stopped with SIGINT.
import { spawn } from 'node:child_process';
import { chromium } from 'playwright-core';

const args = {};
for (let i = 2; i + 1 < process.argv.length; i += 2) args[process.argv[i].replace(/^--/, '')] = process.argv[i + 1];
const [x, y] = args.pixel.split(',').map(Number);

const server = spawn(args.replay, ['--serve', '--port', '0', args.trace], { stdio: ['ignore', 'pipe', 'inherit'] });
const base = await new Promise((resolve, reject) => {
    let out = '';
    server.stdout.on('data', (chunk) => {
        out += chunk;
        const match = /serving .* at (http:\/\/127\.0\.0\.1:\d+\/)/.exec(out);
        if (match) resolve(match[1]);
    });
    server.on('exit', () => reject(new Error(`the server stopped: ${out}`)));
});
const browser = await chromium.launch({ executablePath: '/usr/bin/chromium', headless: true });
try {
    const page = await browser.newPage({ viewport: { width: 1400, height: 860 } });
    await page.goto(`${base}#frame=${args.frame}&call=${args.call}`);
    await page.waitForSelector(`#image-canvas[data-call="${args.call}"][data-view="after"]`);
    await page.selectOption('#zoom', '2');
    await page.locator('#image-canvas').click({ position: { x: (x + 0.5) * 2, y: (y + 0.5) * 2 } });
    await page.waitForSelector(`#pixel-history[data-pixel="${x},${y}"]`);
    await page.waitForSelector(`#state-panel[data-call="${args.call}"]`);
    await page.waitForLoadState('networkidle');
    await page.screenshot({ path: args.out });
} finally {
    await browser.close();
    server.kill('SIGINT');
}
