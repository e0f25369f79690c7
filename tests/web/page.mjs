// The page as a student meets it: build/web/correlatore.html opened from
// file: in Debian's chromium, headless, with the network off; driven with
// the keyboard and the mouse, read through its pixels, its downloads and
// its accessibility tree, and held against the desktop program's own
// files and window.
//   CORRELATOR=build/app/correlator CORRELATOR_WEB_DIR=build/web node page.mjs
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { existsSync } from 'node:fs';
import { createRequire } from 'node:module';
import { pathToFileURL } from 'node:url';
import test from 'node:test';

import {
    chromium,
    correlator,
    desktopFile,
    downloaded,
    firstDifference,
    gridRect,
    need,
    pagePath,
    scratchDir,
    sleep,
    startXvfb,
    waitFor,
} from './support.mjs';

need('the desktop program (CORRELATOR)', correlator && existsSync(correlator));
need('the page (scripts/web)', pagePath && existsSync(pagePath));
need('Debian\'s chromium', existsSync(chromium));
const require = createRequire(import.meta.url);
let puppeteer;
try {
    puppeteer = (await import('puppeteer-core')).default;
} catch {
    need('puppeteer-core (npm ci in tests/web)', false);
}

const TICK_MS = 1000;
const scratch = scratchDir();
const pageUrl = pathToFileURL(pagePath).href;
const browser = await puppeteer.launch({
    executablePath: chromium,
    headless: true,
    // As root chromium needs --no-sandbox; the rest keep it off a network
    // this machine does not have.
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--disable-dev-shm-usage'],
});
process.on('exit', () => browser.process()?.kill('SIGKILL'));

// Every request any page makes, to see that none leaves the file.
const requests = [];

// A page of its own for each row, offline, downloading into scratch.
async function open(hash = '', { deviceScaleFactor = 1, before, locale } = {}) {
    const page = await browser.newPage();
    await page.setViewport({ width: 800, height: 780, deviceScaleFactor });
    await page.setOfflineMode(true);
    page.on('request', (request) => requests.push(request.url()));
    const failures = [];
    page.on('pageerror', (error) => failures.push(error.message));
    page.failures = failures;
    const session = await page.createCDPSession();
    await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: scratch });
    if (locale)
        await session.send('Emulation.setLocaleOverride', { locale });
    if (before)
        await page.evaluateOnNewDocument(before);
    await page.goto(`${pageUrl}${hash}`);
    return page;
}

// The canvas's pixels, as they stand.
const canvasPixels = (page) =>
    page.evaluate(() => {
        const canvas = document.getElementById('plot');
        const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
        return { width: image.width, height: image.height, data: [...image.data] };
    });

const readouts = (page) =>
    page.evaluate(() => ['Label3', 'Label9', 'Label14'].map((id) => document.getElementById(id).textContent));

// How many pixels of a colour the canvas has.
const countOf = (pixels, [r, g, b]) => {
    let count = 0;
    for (let i = 0; i < pixels.data.length; i += 4)
        count += pixels.data[i] === r && pixels.data[i + 1] === g && pixels.data[i + 2] === b;
    return count;
};
const MAGENTA = [255, 0, 255];
const BLUE = [0, 0, 255];

// A PNG's pixels, decoded by the browser itself.
let decoder;
async function decodePng(bytes) {
    decoder ??= await browser.newPage();
    return decoder.evaluate(async (base64) => {
        const image = new Image();
        image.src = `data:image/png;base64,${base64}`;
        await image.decode();
        const canvas = new OffscreenCanvas(image.width, image.height);
        const context = canvas.getContext('2d');
        context.drawImage(image, 0, 0);
        const data = context.getImageData(0, 0, image.width, image.height);
        return { width: data.width, height: data.height, data: [...data.data] };
    }, Buffer.from(bytes).toString('base64'));
}

async function desktopPng(args) {
    return decodePng(desktopFile(scratch, 'desktop.png', args));
}

// Once a tick has drawn these readouts.
const ticked = (page, expected) =>
    waitFor(`the readouts ${expected.join(', ')}`, async () => {
        const shown = await readouts(page);
        return shown.every((text, i) => text === expected[i]) && shown;
    });

async function sameGridAs(page, args) {
    const rect = gridRect(15);
    const difference = firstDifference(await canvasPixels(page), await desktopPng(args), rect);
    assert.equal(difference, null, `the grid differs from correlator ${args.join(' ')} at ${difference}`);
}

test('opens with the bare frame and empty readouts, the curve at the first tick', async () => {
    // The first tick comes a second after the page starts its timer, which
    // is after it began to load; a look later than that proves nothing, and
    // the page is opened again.
    for (let attempt = 1; attempt <= 5; ++attempt) {
        const page = await open();
        const first = await waitFor('the frame on the canvas', () =>
            page.evaluate(() => {
                const canvas = document.getElementById('plot');
                const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
                const black = image.data.filter((v, i) => i % 4 === 0 && v === 0 && image.data[i + 1] === 0).length;
                return black > 1000 && {
                    sinceLoad: performance.now(),
                    magenta: image.data.filter((v, i) => i % 4 === 0 && v === 255 && image.data[i + 1] === 0).length,
                    readouts: ['Label3', 'Label9', 'Label14'].map((id) => document.getElementById(id).textContent),
                };
            }));
        if (first.sinceLoad >= TICK_MS) {
            await page.close();
            continue;
        }
        assert.equal(first.magenta, 0, 'a curve before the first tick');
        assert.deepEqual(first.readouts, ['', '', '']);
        await ticked(page, ['0', '0', '.334']);
        await sameGridAs(page, ['--snr', '0', '--delay', '0']);
        assert.deepEqual(page.failures, []);
        await page.close();
        return;
    }
    assert.fail('every look at the first frame came later than a tick could have');
});

test('10 dB and 150 us set with the keyboard: the desktop\'s pixels, at the next tick', async () => {
    const page = await open();
    await ticked(page, ['0', '0', '.334']);
    await page.focus('#VScroll1');
    for (let i = 0; i < 10; ++i)
        await page.keyboard.press('ArrowUp');
    await page.keyboard.press('Tab');
    await page.keyboard.press('End');
    for (let i = 0; i < 150; ++i)
        await page.keyboard.press('ArrowLeft');
    await ticked(page, ['10', '150', '.727']);
    await sameGridAs(page, ['--snr', '10', '--delay', '150']);
    await page.close();
});

test('Page Up and Page Down move a bar one step, as on the desktop; Home and End to its ends', async () => {
    const page = await open();
    await page.focus('#VScroll1');
    const value = () => page.$eval('#VScroll1', (bar) => [bar.value, bar.getAttribute('aria-valuetext')]);
    await page.keyboard.press('PageUp');
    assert.deepEqual(await value(), ['1', '1 dB']);
    await page.keyboard.press('PageDown');
    await page.keyboard.press('PageDown');
    assert.deepEqual(await value(), ['-1', '-1 dB']);
    await page.keyboard.press('End');
    assert.deepEqual(await value(), ['40', '40 dB']);
    await page.keyboard.press('Home');
    assert.deepEqual(await value(), ['-40', '-40 dB']);
    await page.close();
});

test('-20 dB and 17 us from a link, in a browser that decodes base64 only with atob: the desktop\'s pixels', async () => {
    const page = await open('#snr=-20&delay=17', { before: () => delete Uint8Array.fromBase64 });
    await ticked(page, ['-20', '17', '.006']);
    await sameGridAs(page, ['--snr', '-20', '--delay', '17']);
    await page.close();
});

for (const [locale, readout] of [['it-IT', ',334'], ['en-GB', '.334'], ['ar-EG', '\u066b334']])
    test(`in a browser speaking ${locale}, the zero-lag readout ${readout}`, async () => {
        const page = await open('', { locale });
        await ticked(page, ['0', '0', readout]);
        await page.close();
    });

test('a link\'s values out of range or malformed are ignored: the defaults, and the page ticks', async () => {
    const page = await open('#snr=41&delay=-1&simulate=abc&seed=-3&levels=9');
    await ticked(page, ['0', '0', '.334']);
    assert.equal(await page.$eval('#simulation', (select) => select.value), '');
    assert.equal(await page.$eval('#failure', (dialog) => dialog.open), false);
    assert.deepEqual(page.failures, []);
    await page.close();
});

test('at a device pixel ratio of 2, the desktop\'s pixels at QT_SCALE_FACTOR=2', async () => {
    const page = await open('', { deviceScaleFactor: 2 });
    await ticked(page, ['0', '0', '.334']);
    const canvas = await canvasPixels(page);
    await page.close();

    const xvfb = await startXvfb();
    const env = { ...process.env, DISPLAY: xvfb.display, QT_SCALE_FACTOR: '2', LC_ALL: 'C' };
    delete env.WAYLAND_DISPLAY;
    delete env.QT_QPA_PLATFORM;
    const desktop = spawn(correlator, [], { env, stdio: 'ignore' });
    try {
        const window = await waitFor('the desktop\'s window', () => {
            try {
                return execFileSync('xdotool', ['search', '--onlyvisible', '--name', '^Form1$'], { env })
                    .toString().split('\n')[0];
            } catch {
                return null;
            }
        });
        await sleep(TICK_MS); // its first tick
        const traced = await waitFor('the desktop\'s first curve', async () => {
            const shot = await decodePng(execFileSync('import', ['-window', window, 'png:-'], { env }));
            return countOf(shot, MAGENTA) > 1000 && shot;
        });
        const difference = firstDifference(canvas, traced, gridRect(7.5));
        assert.equal(difference, null, `the grid differs from the desktop's window at ${difference}`);
    } finally {
        desktop.kill('SIGTERM');
        xvfb.stop();
    }
});

test('a link with seed 7 and 2.6 s, then "Salva valori CSV": the desktop\'s file for the squares shown', async () => {
    const page = await open('#snr=10&delay=150&simulate=2.6&seed=7');
    await waitFor('the squares', async () => countOf(await canvasPixels(page), BLUE) > 0, 60000);
    // The picture and the click in one task: no tick comes between.
    const shown = await page.evaluate(() => {
        const canvas = document.getElementById('plot');
        const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
        document.getElementById('saveCsv').click();
        return { width: image.width, height: image.height, data: [...image.data] };
    });
    const csv = await downloaded(scratch, 'correlazione-10dB-150us.csv');
    // Realisations follow one another from seed 7: the file is one of theirs,
    // and its squares are those on the canvas.
    let seed = 7;
    for (; seed < 7 + 60; ++seed)
        if (csv.equals(desktopFile(scratch, 'desktop.csv',
            ['--snr', '10', '--delay', '150', '--simulate', '2.6', '--seed', String(seed)])))
            break;
    assert.ok(seed < 7 + 60, 'the CSV is no realisation of seeds 7 to 66');
    const difference = firstDifference(shown,
        await desktopPng(['--snr', '10', '--delay', '150', '--simulate', '2.6', '--seed', String(seed)]), gridRect(15));
    assert.equal(difference, null, `the squares shown are not seed ${seed}'s: ${difference}`);
    await page.close();
});

test('"Salva figura PNG": the canvas as it stands', async () => {
    const page = await open('#snr=3&delay=60');
    await ticked(page, ['3', '60', '.464']);
    const shown = await page.evaluate(() => {
        const canvas = document.getElementById('plot');
        const image = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height);
        document.getElementById('savePng').click();
        return { width: image.width, height: image.height, data: [...image.data] };
    });
    const saved = await decodePng(await downloaded(scratch, 'correlazione-3dB-60us.png'));
    assert.equal(firstDifference(shown, saved, { left: 0, top: 0, right: shown.width - 1, bottom: shown.height - 1 }),
        null);
    await page.close();
});

test('a screen reader finds the two bars named with their values and units, and one live result', async () => {
    const page = await open();
    await ticked(page, ['0', '0', '.334']);
    const session = await page.createCDPSession();
    const tree = async () => (await session.send('Accessibility.getFullAXTree')).nodes;
    const property = (node, name) => node.properties?.find((p) => p.name === name)?.value?.value;
    const sliders = (await tree()).filter((node) => node.role?.value === 'slider');
    assert.deepEqual(
        sliders.map((node) => [node.name?.value, node.description?.value, node.value?.value, property(node, 'valuemin'),
            property(node, 'valuemax')]),
        [['(Si/Ni)', 'dB', 0, -40, 40], ['Ritardo tra i due segnali', 'microSec.', 0, 0, 300]]);
    const live = (await tree()).filter((node) => property(node, 'live') === 'polite');
    assert.equal(live.length, 1, 'one live region');

    // A change of the result is said once, at the next tick; nothing while it stays.
    await page.focus('#VScroll1');
    await page.keyboard.press('ArrowUp');
    const said = await waitFor('the result in the live region', () =>
        page.$eval('#result', (region) => region.textContent));
    assert.equal(said, 'C (0) = .377');
    await page.evaluate(() => {
        window.changes = 0;
        new MutationObserver(() => ++window.changes).observe(document.getElementById('result'),
            { childList: true, characterData: true, subtree: true });
    });
    await sleep(2.5 * TICK_MS);
    assert.equal(await page.evaluate(() => window.changes), 0, 'the same result said again');
    await page.close();
});

test('axe-core finds nothing to report', async () => {
    const page = await open('#simulate=0.3');
    await ticked(page, ['0', '0', '.334']);
    await page.addScriptTag({ path: require.resolve('axe-core/axe.min.js') });
    const violations = await page.evaluate(async () =>
        (await axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    assert.deepEqual(violations, []);
    await page.click('#help');
    const inGuide = await page.evaluate(async () =>
        (await axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    assert.deepEqual(inGuide, []);
    await page.close();
});

// The page's thread never simulates: the worker does, and the page goes on
// ticking meanwhile. (How long its tasks take is bench/page.mjs's.)
test('42 s of signal: squares come from the worker, and the page ticks meanwhile', async () => {
    const page = await open('#delay=50', {
        before: () => {
            window.simulatedHere = 0;
            const instantiate = WebAssembly.instantiate;
            WebAssembly.instantiate = async (...args) => {
                const instance = await instantiate(...args);
                const exports = new Proxy(instance.exports, {
                    get: (target, name) =>
                        /^simulation/.test(String(name))
                            ? (...a) => (++window.simulatedHere, target[name](...a))
                            : target[name],
                });
                return { exports };
            };
        },
    });
    await ticked(page, ['0', '50', '.334']);
    await page.select('#simulation', '42');
    await page.focus('#VScroll1');
    await page.keyboard.press('ArrowUp');
    await ticked(page, ['1', '50', '.377']);
    await waitFor('the squares of 42 s', async () => countOf(await canvasPixels(page), BLUE) > 0, 90000);
    assert.equal(await page.evaluate(() => window.simulatedHere), 0, 'the page\'s thread simulated');
    await page.close();
});

test('nothing was asked of a network', () => {
    const elsewhere = requests.filter((url) => !/^(file|blob|data):/.test(url));
    assert.ok(requests.length > 0);
    assert.deepEqual(elsewhere, []);
});

test.after(() => browser.close());
