// The window in a browser: the desktop's tick, drawn by the same core
// compiled to WebAssembly, its simulation in a worker.
'use strict';

(() => {
    const $ = (id) => document.getElementById(id);

    const TICK_MS = 1000;
    const TWIPS_PER_CSS_PIXEL = 15;
    // What a tick draws lies left of and above this corner, in twips.
    const DRAWING_RIGHT = 9330;
    const DRAWING_BOTTOM = 6540;
    const BACKGROUND = 0xefefef; // 0xBBGGRR, the desktop's window grey
    const LAGS = 61;
    const SNR = { min: -40, max: 40 };
    const DELAY = { min: 0, max: 300 };
    const SECONDS = { min: 0.01, max: 600 };
    const MAX_SEED = (1n << 64n) - 1n;

    const canvas = $('plot');
    const context = canvas.getContext('2d');
    const snrBar = $('VScroll1');
    const delayBar = $('HScroll1');
    const simulation = $('simulation');
    const announcement = $('result');


    // A link's settings: #snr=10&delay=150&simulate=2.6&seed=7. What is
    // missing, malformed or out of range keeps the default.
    function settingsOf(hash) {
        const parameters = new URLSearchParams(hash.replace(/^#/, ''));
        const integer = (name, range) => {
            const text = parameters.get(name);
            if (text === null || !/^[+-]?[0-9]{1,9}$/.test(text))
                return undefined;
            const value = Number(text);
            return value >= range.min && value <= range.max ? value : undefined;
        };
        const seconds = () => {
            const text = parameters.get('simulate');
            if (text === null || !/^\+?([0-9]+([.,][0-9]*)?|[.,][0-9]+)$/.test(text))
                return undefined;
            const value = Number(text.replace(',', '.').replace('+', ''));
            return value >= SECONDS.min && value <= SECONDS.max ? value : undefined;
        };
        const seed = () => {
            const text = parameters.get('seed');
            if (text === null || !/^\+?[0-9]{1,20}$/.test(text))
                return undefined;
            const value = BigInt(text.replace('+', ''));
            return value <= MAX_SEED ? value : undefined;
        };
        return { snr: integer('snr', SNR), delay: integer('delay', DELAY), seconds: seconds(), seed: seed() };
    }

    function randomSeed() {
        const words = crypto.getRandomValues(new Uint32Array(2));
        return (BigInt(words[0]) << 32n) | BigInt(words[1]);
    }

    const fromLink = settingsOf(location.hash);
    if (fromLink.snr !== undefined)
        snrBar.value = String(fromLink.snr);
    if (fromLink.delay !== undefined)
        delayBar.value = String(fromLink.delay);
    if (fromLink.seconds !== undefined) {
        const value = String(fromLink.seconds);
        if (![...simulation.options].some((option) => option.value === value)) {
            const option = new Option(`${fromLink.seconds.toLocaleString('it-IT')} s di segnale`, value);
            simulation.add(option);
        }
        simulation.value = value;
    }
    let nextSeed = fromLink.seed ?? randomSeed();

    // A bar's accessible value is the number it stands for, with its unit;
    // the readouts change only at the next tick.
    const describeBars = () => {
        snrBar.setAttribute('aria-valuetext', `${snrBar.value} dB`);
        delayBar.setAttribute('aria-valuetext', `${delayBar.value} microSec.`);
    };
    describeBars();
    // Page Up and Page Down move a bar by one step, like the arrows, as on
    // the desktop.
    for (const bar of [snrBar, delayBar]) {
        bar.addEventListener('input', describeBars);
        bar.addEventListener('keydown', (event) => {
            if (event.key !== 'PageUp' && event.key !== 'PageDown')
                return;
            event.preventDefault();
            if (event.key === 'PageUp')
                bar.stepUp();
            else
                bar.stepDown();
            bar.dispatchEvent(new Event('input', { bubbles: true }));
            bar.dispatchEvent(new Event('change', { bubbles: true }));
        });
    }

    // A fault ends the program, as on the desktop: the timer stops and a box
    // says why.
    let timer = 0;
    class Fault extends Error {}
    // The core's faults in the words the desktop's box uses.
    const reasons = {
        'division by zero': 'divisione per zero',
        overflow: 'overflow',
        'invalid operation': 'operazione non valida',
        'std::bad_alloc': 'memoria insufficiente',
    };
    function fail(where, error) {
        clearInterval(timer);
        timer = 0;
        worker?.terminate();
        // Nothing is left to drive: the controls say so instead of doing nothing.
        for (const control of document.querySelectorAll('main input, main select, main button'))
            control.disabled = true;
        const message = error?.message ?? String(error);
        const reason = error instanceof Fault && reasons[message] ? reasons[message] : `errore interno (${message})`;
        $('failureText').textContent = `Errore di esecuzione in ${where}: ${reason}. Il programma è terminato.`;
        if (!$('failure').open)
            $('failure').showModal();
        console.error(error);
    }

    let core = null;
    let worker = null;
    const utf8 = new TextEncoder();
    const fromUtf8 = new TextDecoder();
    // Views of the core's memory are taken after the call that gives their
    // place: a call may grow the memory, which takes the old buffer away.
    const estimatesIn = () => {
        const at = core.estimatesIn();
        return new Float64Array(core.memory.buffer, at, LAGS);
    };
    const stringAt = (pointer) => {
        const memory = new Uint8Array(core.memory.buffer);
        let end = pointer;
        while (memory[end] !== 0)
            ++end;
        return fromUtf8.decode(memory.subarray(pointer, end));
    };

    // The plot's surface, in device pixels: as the desktop sizes it.
    let surface = null;
    function fitSurface() {
        const ratio = window.devicePixelRatio || 1;
        const twips = TWIPS_PER_CSS_PIXEL / ratio;
        const width = Math.ceil(DRAWING_RIGHT / twips);
        const height = Math.ceil(DRAWING_BOTTOM / twips);
        if (surface && surface.width === width && surface.height === height && surface.twips === twips)
            return false;
        surface = { width, height, twips };
        canvas.width = width;
        canvas.height = height;
        canvas.style.width = `${width / ratio}px`;
        canvas.style.height = `${height / ratio}px`;
        return true;
    }

    function paint() {
        const at = core.rgba(); // may grow the memory, which takes its buffer away
        const pixels = new Uint8ClampedArray(core.memory.buffer, at, surface.width * surface.height * 4);
        context.putImageData(new ImageData(pixels, surface.width, surface.height), 0, 0);
    }

    // The repaint: the bare frame, the curve gone until the next tick.
    function framePaint() {
        fitSurface();
        core.frame(surface.width, surface.height, surface.twips, BACKGROUND);
        paint();
    }

    // The simulation: realisations in the worker, drawn from seeds
    // nextSeed, nextSeed + 1, ...; each tick shows the latest one made for
    // the settings on screen and asks for a fresh one.
    let latest = null;
    const secondsChosen = () => (simulation.value === '' ? 0 : Number(simulation.value));
    simulation.addEventListener('change', () => {
        worker?.postMessage({ want: null });
        latest = null;
    });
    function startWorker(module) {
        const url = URL.createObjectURL(new Blob([$('worker').textContent], { type: 'text/javascript' }));
        worker = new Worker(url);
        URL.revokeObjectURL(url);
        worker.onmessage = (event) => {
            const message = event.data;
            if (message.realisation)
                latest = message.realisation;
            else if (message.fault)
                fail('Simulazione', new Fault(message.fault));
        };
        worker.onerror = (event) => fail('Simulazione', event.message);
        worker.postMessage({ module, seed: nextSeed });
    }

    // What the last tick showed, for the figures.
    let shown = null;
    let previousResult = null;

    function Timer1_Timer() {
        const snr = Number(snrBar.value);
        const delay = Number(delayBar.value);
        const seconds = secondsChosen();
        const squares =
            latest && seconds && latest.seconds === seconds && latest.snr === snr && latest.delay === delay
                ? latest
                : null;
        if (squares)
            estimatesIn().set(squares.estimates);
        fitSurface();
        core.frame(surface.width, surface.height, surface.twips, BACKGROUND);
        core.tick(snr, delay, 0, 0, squares ? 1 : 0);
        $('Label3').textContent = stringAt(core.readout(0));
        $('Label9').textContent = stringAt(core.readout(1));
        $('Label14').textContent = stringAt(core.readout(2));
        paint();
        shown = { snr, delay, squares };
        // A new result is said once; the first is not news.
        const result = `C (0) = ${$('Label14').textContent}`;
        if (previousResult !== null && result !== previousResult)
            announcement.textContent = result;
        previousResult = result;
        if (seconds)
            worker.postMessage({ want: { seconds, snr, delay, levels: 0 } });
    }

    // The figures, as files the browser downloads, named as the desktop
    // names them.
    function download(name, blob) {
        const link = document.createElement('a');
        link.href = URL.createObjectURL(blob);
        link.download = name;
        document.body.append(link);
        link.click();
        link.remove();
        setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    }
    const nameOf = (suffix) => {
        const settings = shown ?? { snr: Number(snrBar.value), delay: Number(delayBar.value) };
        return `correlazione-${settings.snr}dB-${settings.delay}us.${suffix}`;
    };
    $('savePng').addEventListener('click', () => {
        canvas.toBlob((blob) => download(nameOf('png'), blob), 'image/png');
    });
    $('saveCsv').addEventListener('click', () => {
        try {
            const settings = shown ?? { snr: Number(snrBar.value), delay: Number(delayBar.value), squares: null };
            if (settings.squares)
                estimatesIn().set(settings.squares.estimates);
            const length = core.csv(settings.snr, settings.delay, 0, 0, settings.squares ? 1 : 0);
            const at = core.csvData();
            const bytes = new Uint8Array(core.memory.buffer, at, length).slice();
            download(nameOf('csv'), new Blob([bytes], { type: 'text/csv' }));
        } catch (error) {
            fail('Salva valori CSV', error);
        }
    });
    $('help').addEventListener('click', () => $('guide').showModal());

    async function start() {
        const module = await coreModule;
        const instance = await WebAssembly.instantiate(module, {
            correlatore: {
                fault: (pointer, length) => {
                    throw new Fault(fromUtf8.decode(new Uint8Array(core.memory.buffer, pointer, length)));
                },
            },
        });
        core = instance.exports;
        core._initialize();
        framePaint();
        // The decimal separator of the browser's language, for the first
        // tick; asking the browser for it costs tens of milliseconds,
        // after the first frame.
        const separator =
            new Intl.NumberFormat().formatToParts(1.5).find((part) => part.type === 'decimal')?.value ?? '.';
        const bytes = utf8.encode(separator);
        const textIn = core.textIn();
        new Uint8Array(core.memory.buffer, textIn, bytes.length).set(bytes);
        core.setSeparator(bytes.length);
        startWorker(module);
        timer = setInterval(() => {
            try {
                Timer1_Timer();
            } catch (error) {
                fail('Timer1_Timer', error);
            }
        }, TICK_MS);
        // A change of the screen's density repaints, as the window system would.
        const watchDensity = () => {
            matchMedia(`(resolution: ${window.devicePixelRatio}dppx)`).addEventListener(
                'change',
                () => {
                    if (timer)
                        framePaint();
                    watchDensity();
                },
                { once: true },
            );
        };
        watchDensity();
    }

    start().catch((error) => fail('Form1', error));
})();
