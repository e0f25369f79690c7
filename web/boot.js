// The core compiles on the browser's own threads while the page is laid
// out: it is inlined gzipped, and compiled as it is inflated.
'use strict';
const coreModule = (() => {
    const text = atob(document.getElementById('core').textContent.trim());
    const bytes = new Uint8Array(text.length);
    for (let i = 0; i < text.length; ++i)
        bytes[i] = text.charCodeAt(i);
    const inflated = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('gzip'));
    return WebAssembly.compileStreaming(new Response(inflated, { headers: { 'Content-Type': 'application/wasm' } }));
})();
