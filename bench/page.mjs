// The page's figures: its size part by part, when its first bare frame is
// on screen, and what a tick costs the page's thread, in Debian's chromium,
// headless. Built by scripts/web; puppeteer-core from tests/web (npm ci).
//   node bench/page.mjs [build/web]
import { readFileSync, statSync } from 'node:fs';
import { gzipSync } from 'node:zlib';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = join(dirname(fileURLToPath(import.meta.url)), '..');
const web = process.argv[2] ?? join(root, 'build', 'web');
const page = join(web, 'correlatore.html');
const require = createRequire(join(root, 'tests', 'web', 'package.json'));
const puppeteer = (await import(require.resolve('puppeteer-core'))).default;

// What each part of the file costs.
const kB = (bytes) => `${(bytes / 1000).toFixed(1)} kB`;
const wasm = statSync(join(web, 'wasm', 'web', 'correlatore-core.wasm')).size;
const gzipped = gzipSync(readFileSync(join(web, 'wasm', 'web', 'correlatore-core.wasm')), { level: 9 }).length;
const parts = ['boot.js', 'page.js', 'worker.js', 'page.css', 'guide.html', 'page.html'].map((name) => [
    name, statSync(join(root, 'web', name)).size]);
console.log(`correlatore.html: ${kB(statSync(page).size)}`);
console.log(`  the core, WebAssembly: ${kB(wasm)}, gzipped ${kB(gzipped)}, as base64 ${kB(Math.ceil(gzipped / 3) * 4)}`);
for (const [name, size] of parts)
    console.log(`  ${name}: ${kB(size)}`);

// The bench's own watch on the page, installed before it loads: when the
// canvas first gets pixels and is next painted, and how long each tick's
// callback takes.
function watch() {
    window.bench = { firstPixels: null, firstFrame: null, ticks: [] };
    const put = CanvasRenderingContext2D.prototype.putImageData;
    CanvasRenderingContext2D.prototype.putImageData = function (...args) {
        put.apply(this, args);
        if (window.bench.firstPixels === null) {
            window.bench.firstPixels = performance.now();
            requestAnimationFrame(() => requestAnimationFrame(() => (window.bench.firstFrame = performance.now())));
        }
    };
    const every = window.setInterval;
    window.setInterval = (callback, ms, ...rest) =>
        every((...a) => {
            const start = performance.now();
            callback(...a);
            window.bench.ticks.push(performance.now() - start);
        }, ms, ...rest);
}

const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
});
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const firstFrames = [], pixels = [], firstTicks = [], ticks = [];
for (let run = 0; run < 7; ++run) {
    const tab = await browser.newPage();
    await tab.setViewport({ width: 800, height: 780 });
    await tab.evaluateOnNewDocument(watch);
    await tab.goto(pathToFileURL(page).href);
    await new Promise((resolve) => setTimeout(resolve, 6500));
    const seen = await tab.evaluate(() => window.bench);
    firstFrames.push(seen.firstFrame);
    pixels.push(seen.firstPixels);
    firstTicks.push(seen.ticks[0]);
    ticks.push(...seen.ticks.slice(1));
    await tab.close();
}
// The longest task on the page's thread while 42 s of signal are simulated
// (target: none over 50 ms).
const tab = await browser.newPage();
await tab.evaluateOnNewDocument(() => {
    window.longest = 0;
    new PerformanceObserver((list) => {
        for (const entry of list.getEntries())
            window.longest = Math.max(window.longest, entry.duration);
    }).observe({ type: 'longtask' });
});
await tab.goto(`${pathToFileURL(page).href}#simulate=42`);
await new Promise((resolve) => setTimeout(resolve, 1500));
await tab.evaluate(() => (window.longest = 0));
await new Promise((resolve) => setTimeout(resolve, 8000));
const longest = await tab.evaluate(() => window.longest);
await browser.close();
const ms = (value) => `${value.toFixed(1)} ms`;
console.log(`the longest task on the page's thread while 42 s are simulated: ${longest ? ms(longest) : 'none over 50 ms'}`);
console.log(`first bare frame after navigation: median ${ms(median(firstFrames))}, ` +
    `${ms(Math.min(...firstFrames))} to ${ms(Math.max(...firstFrames))} (its pixels at ${ms(median(pixels))})`);
console.log(`a tick on the page's thread: median ${ms(median(ticks))}, at most ${ms(Math.max(...ticks))}; ` +
    `the first, before the browser has optimised the core: median ${ms(median(firstTicks))}`);
