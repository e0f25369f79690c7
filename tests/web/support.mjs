// What the page's tests share: the desktop program's files to hold the
// page against, Debian's chromium, a private X server for the desktop's
// own window, and the plot's grid in device pixels.
import { execFileSync, spawn } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, statSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const correlator = process.env.CORRELATOR;
export const webDir = process.env.CORRELATOR_WEB_DIR;
export const pagePath = webDir && join(webDir, 'correlatore.html');
export const wasmPath = webDir && join(webDir, 'wasm', 'web', 'correlatore-core.wasm');
export const chromium = '/usr/bin/chromium';

// A tool that is missing fails the test on CI and skips it elsewhere (its
// CTest skip status), since scripts/test installs it.
export function need(what, present) {
    if (present)
        return;
    if (process.env.CI) {
        console.error(`FAIL: ${what} is missing on CI`);
        process.exit(1);
    }
    console.log(`SKIP: ${what} is missing (scripts/test makes it)`);
    process.exit(77);
}

export function scratchDir() {
    const dir = mkdtempSync(join(process.env.TMPDIR ?? tmpdir(), 'correlatore-page-'));
    process.on('exit', () => rmSync(dir, { recursive: true, force: true }));
    return dir;
}

// What `correlator ARGUMENTS --output NAME` writes.
export function desktopFile(scratch, name, args) {
    const path = join(scratch, name);
    execFileSync(correlator, [...args, '--output', path], { env: { ...process.env, LC_ALL: 'C' } });
    return readFileSync(path);
}

// The plot's grid, from 100 to 9300 twips across and 100 to 6500 down, in
// device pixels of twipsPerPixel twips: the pixels that hold its edges.
export function gridRect(twipsPerPixel) {
    const pixel = (twips) => Math.floor(twips / twipsPerPixel);
    return { left: pixel(100), top: pixel(100), right: pixel(9300), bottom: pixel(6500) };
}

// The first pixel of rect where two pictures ({width, height, data} in
// RGBA) differ, or null.
export function firstDifference(a, b, rect) {
    for (let y = rect.top; y <= rect.bottom; ++y)
        for (let x = rect.left; x <= rect.right; ++x) {
            const i = 4 * (y * a.width + x), j = 4 * (y * b.width + x);
            if (a.data[i] !== b.data[j] || a.data[i + 1] !== b.data[j + 1] || a.data[i + 2] !== b.data[j + 2])
                return `(${x}, ${y}): ${[...a.data.slice(i, i + 3)]} against ${[...b.data.slice(j, j + 3)]}`;
        }
    return null;
}

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until check() gives something, and gives it; fails, naming what it
// waited for, after patience.
export async function waitFor(what, check, patienceMs = 20000) {
    const end = Date.now() + patienceMs;
    for (;;) {
        const result = await check();
        if (result)
            return result;
        if (Date.now() > end)
            throw new Error(`waited ${patienceMs / 1000} s for ${what}`);
        await sleep(50);
    }
}

// A file the browser downloaded into dir, once whole.
export async function downloaded(dir, name) {
    const path = join(dir, name);
    await waitFor(`the download of ${name}`, () => existsSync(path) && !readdirSync(dir).some((f) => f.endsWith('.crdownload')));
    let size = -1;
    await waitFor(`${name} to be whole`, async () => {
        const now = statSync(path).size;
        const same = now === size;
        size = now;
        if (!same)
            await sleep(100);
        return same;
    });
    return readFileSync(path);
}

// A private X server; stop() ends it.
export async function startXvfb() {
    const server = spawn('Xvfb', ['-displayfd', '1', '-screen', '0', '1920x1600x24', '-nolisten', 'tcp', '-noreset'], {
        stdio: ['ignore', 'pipe', 'ignore'],
    });
    const display = await new Promise((resolve, reject) => {
        let text = '';
        server.stdout.on('data', (chunk) => {
            text += chunk;
            if (text.includes('\n'))
                resolve(`:${text.trim()}`);
        });
        server.on('exit', () => reject(new Error('Xvfb did not start')));
        setTimeout(() => reject(new Error('Xvfb did not start in 20 s')), 20000);
    });
    return { display, stop: () => server.kill('SIGTERM') };
}
