// The page's simulated correlator, off the page's thread: a realisation is
// counted a block at a time, each block a task of its own, so that a
// message from the page (new settings) reaches it between blocks.
'use strict';

const LAGS = 61;
const MAX_SEED = (1n << 64n) - 1n;
let core = null;
let nextSeed = 0n;
let wanted = null; // { seconds, snr, delay, levels }, or none
let job = null;    // what runs: the same and its seed
let abandon = false;

const fromUtf8 = new TextDecoder();
const imports = {
    correlatore: {
        fault: (pointer, length) => {
            throw new Error(fromUtf8.decode(new Uint8Array(core.memory.buffer, pointer, length)));
        },
    },
};

const same = (a, b) =>
    a !== null && b !== null && a.seconds === b.seconds && a.snr === b.snr && a.delay === b.delay &&
    a.levels === b.levels;

// The next task, without the delay that nested timers take.
const channel = new MessageChannel();
channel.port1.onmessage = () => {
    try {
        step();
    } catch (error) {
        postMessage({ fault: String(error?.message ?? error) });
    }
};

function begin() {
    job = { ...wanted, seed: nextSeed };
    nextSeed = (nextSeed + 1n) & MAX_SEED;
    abandon = false;
    core.simulationStart(job.seconds, job.snr, job.delay, job.seed, job.levels);
    channel.port2.postMessage(0);
}

// Asked at every tick: a realisation for these settings starts unless one
// runs for them already; one running for others is abandoned.
function want(settings) {
    wanted = settings;
    if (core === null)
        return;
    if (job === null) {
        if (wanted !== null)
            begin();
    } else if (!same(job, wanted)) {
        abandon = true;
    }
}

function step() {
    if (abandon) {
        job = null;
        if (wanted !== null)
            begin();
        return;
    }
    if (core.simulationStep()) {
        channel.port2.postMessage(0);
        return;
    }
    const at = core.simulationEstimates();
    const estimates = Float64Array.from(new Float64Array(core.memory.buffer, at, LAGS));
    postMessage({ realisation: { ...job, estimates } });
    job = null;
}

onmessage = async (event) => {
    const message = event.data;
    try {
        if (message.module) {
            nextSeed = message.seed;
            core = (await WebAssembly.instantiate(message.module, imports)).exports;
            core._initialize();
            want(wanted);
        } else if ('want' in message) {
            want(message.want);
        }
    } catch (error) {
        postMessage({ fault: String(error?.message ?? error) });
    }
};
