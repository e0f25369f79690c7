// The core as the page runs it, a 32-bit WebAssembly module, against the
// desktop program: the same curve files, the same estimates for a seed,
// byte for byte.
//   CORRELATOR=build/app/correlator CORRELATOR_WEB_DIR=build/web node core.mjs
import assert from 'node:assert/strict';
import { existsSync, readFileSync } from 'node:fs';
import test from 'node:test';

import { correlator, desktopFile, need, scratchDir, wasmPath } from './support.mjs';

need('the desktop program (CORRELATOR)', correlator && existsSync(correlator));
need('the page\'s core (scripts/web)', wasmPath && existsSync(wasmPath));

const scratch = scratchDir();
const module = await WebAssembly.compile(readFileSync(wasmPath));
let core;
const instance = await WebAssembly.instantiate(module, {
    correlatore: {
        fault: (pointer, length) => {
            throw new Error(new TextDecoder().decode(new Uint8Array(core.memory.buffer, pointer, length)));
        },
    },
});
core = instance.exports;
core._initialize();

const LEVELS = { 2: 0, 3: 1, 4: 2, analog: 3 };

// The page's file for these settings, with the estimates of a realisation
// counted a block at a time, as the worker counts it.
function pageCsv({ snr, delay, levels = 2, vanVleck = false, seconds = 0, seed = 0 }) {
    let squares = 0;
    if (seconds) {
        core.simulationStart(seconds, snr, delay, BigInt(seed), LEVELS[levels]);
        while (core.simulationStep())
            ;
        const from = core.simulationEstimates();
        const estimates = new Float64Array(core.memory.buffer, from, 61).slice();
        const to = core.estimatesIn();
        new Float64Array(core.memory.buffer, to, 61).set(estimates);
        squares = 1;
    }
    const length = core.csv(snr, delay, LEVELS[levels], vanVleck ? 1 : 0, squares);
    const at = core.csvData();
    return Buffer.from(new Uint8Array(core.memory.buffer, at, length));
}

function desktopCsv({ snr, delay, levels = 2, vanVleck = false, seconds = 0, seed = 0 }) {
    const args = ['--snr', String(snr), '--delay', String(delay), '--levels', String(levels)];
    if (vanVleck)
        args.push('--van-vleck');
    if (seconds)
        args.push('--simulate', String(seconds), '--seed', String(seed));
    return desktopFile(scratch, 'desktop.csv', args);
}

const rows = [
    // The curve: correctly rounded elementary functions and IEEE steps.
    { name: '0 dB, 0 us', snr: 0, delay: 0 },
    { name: '10 dB, 150 us', snr: 10, delay: 150 },
    { name: '-40 dB, 300 us', snr: -40, delay: 300 },
    { name: '40 dB, 7 us', snr: 40, delay: 7 },
    { name: '-20 dB, 17 us, four levels, corrected', snr: -20, delay: 17, levels: 4, vanVleck: true },
    { name: '3 dB, 60 us, three levels', snr: 3, delay: 60, levels: 3 },
    { name: '10 dB, 150 us, analog', snr: 10, delay: 150, levels: 'analog' },
    // The simulation: seed 1's realisation of 0.01 s is the one every
    // version has given; blocks of 2^17 samples and of 2^6 3^4 5^2 take
    // every butterfly of the transform.
    { name: '0.01 s, seed 1, 3 dB, 20 us', snr: 3, delay: 20, seconds: 0.01, seed: 1 },
    { name: '2.6 s, seed 7, 10 dB, 150 us', snr: 10, delay: 150, seconds: 2.6, seed: 7 },
    { name: '0.3 s, seed 2, three levels, corrected', snr: 3, delay: 60, seconds: 0.3, seed: 2, levels: 3, vanVleck: true },
    { name: '42 s, seed 5, four levels', snr: 0, delay: 50, seconds: 42, seed: 5, levels: 4 },
    { name: '2.6 s, seed 18446744073709551615', snr: -10, delay: 299, seconds: 2.6, seed: 18446744073709551615n },
];

for (const row of rows)
    test(row.name, () => {
        const page = pageCsv(row);
        const desktop = desktopCsv(row);
        if (!page.equals(desktop)) {
            const a = page.toString().split('\n'), b = desktop.toString().split('\n');
            const line = a.findIndex((text, i) => text !== b[i]);
            assert.fail(`line ${line + 1}: page '${a[line]}', desktop '${b[line]}'`);
        }
    });

// A fault of the core reaches the page as its message, as the desktop's
// would end the program with it.
test('a fault is told to the page', () => {
    core.frame(10, 10, 15, 0xefefef);
    assert.throws(() => core.simulationStart(1e9, 0, 0, 0n, 0), /duration out of range/);
});
