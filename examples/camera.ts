// orvela from TypeScript: the declarations in sdk/orvela.d.ts describe
// orvela.js, which the page loads with a <script> element before this code.

const messages: string[] = [];

function showMissing(info: orvela.MissingInfo): void {
    messages.push(`${info.missing} missing; install it from ${info.installUrl}`);
}

function onEvent(event: orvela.CameraEvent): void {
    if (event.type === 5)
        messages.push(`motion detected: ${event.text}`);
}

function tour(camera: orvela.Camera): void {
    const version: number = camera.GetCtrlVersion();
    const blocks: string = camera.supports("GetMDBlockStr") ? camera.GetMDBlockStr() : "";
    if (camera.initResult === 0 && camera.allowed)
        messages.push(`camera control ${version}, motion blocks "${blocks}"`);
    try {
        camera.SetBufferTick(1, 2);
    } catch (e) {
        messages.push(e instanceof Error ? e.message : String(e));
    }
}

const camera: orvela.Camera = orvela.create(document.body, {
    width: 640,
    height: 480,
    baseUrl: "http://192.168.1.64/",
    address: "192.168.1.64",
    ptzPort: 8091,
    installUrl: "https://example.com/orvela/",
    onReady: tour,
    onEvent,
    onMissing: showMissing,
});

window.addEventListener("unload", () => camera.destroy());
