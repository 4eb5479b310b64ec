// Declarations of orvela.js. The camera members between the markers are
// written by sdk/generate.py from the plug-in's registration.

declare namespace orvela {
    /** Which embedding a camera got: NPAPI, in-process in 32-bit Internet Explorer, or the bridge. */
    type Browser = "npapi" | "ie" | "ie64" | "";

    /** A camera event, in the order the camera raised it. */
    interface CameraEvent {
        /** An address, a file name ... as the camera control gives it. */
        text: string;
        /** 1 live video, 2 snapshot, 3 recording, 4 playback, 5 motion detected. */
        type: number;
        /** For video, recording and playback: 1 started, 0 stopped. */
        subtype: number;
    }

    /** What onMissing gets when nothing that shows the camera is installed. */
    interface MissingInfo {
        /** "plugin" (NPAPI), "control" (32-bit Internet Explorer) or "bridge" (64-bit). */
        missing: "plugin" | "control" | "bridge";
        browser: Browser;
        /** The installUrl of the options, "" without one. */
        installUrl: string;
        message: string;
    }

    interface Options {
        width?: number;
        height?: number;
        /** With address given, create() calls InitCtrl(baseUrl, address, ptzPort) before onReady. */
        baseUrl?: string;
        address?: string;
        ptzPort?: number;
        installUrl?: string;
        /** How long an NPAPI browser may take to load the plug-in, in ms (10000). */
        timeout?: number;
        onReady?: (camera: Camera) => void;
        onEvent?: (event: CameraEvent) => void;
        onMissing?: (info: MissingInfo) => void;
    }

    interface Camera {
        readonly browser: Browser;
        /** The embedded element; null after destroy(). */
        readonly element: object | null;
        /** false once the camera refused this page's site. */
        readonly allowed: boolean;
        /** What InitCtrl answered when the options named an address, else null. */
        readonly initResult: number | null;
        /** Whether this browser's embedding offers the member. */
        supports(member: string): boolean;
        /** Removes the element and every handler. */
        destroy(): void;
        // members:begin
        /** text, text, integer (16-bit); answers -1 without a camera. */
        InitCtrl(arg1: string, arg2: string, arg3: number): number;
        /** no arguments; answers -1 without a camera. */
        GetCtrlVersion(): number;
        /** text, integer; answers -1 without a camera. */
        LoadLang(arg1: string, arg2: number): number;
        /** integer, integer; answers -1 without a camera. */
        SetBufferTick(arg1: number, arg2: number): number;
        /** integer, integer; answers -1 without a camera. */
        SetBufferTickV2(arg1: number, arg2: number): number;
        /** integer, text; answers -1 without a camera. */
        SetDeviceType(arg1: number, arg2: string): number;
        /** text, text, text; answers -1 without a camera. */
        SetUsernamePasswordAndLanguage(arg1: string, arg2: string, arg3: string): number;
        /** text; answers -1 without a camera. */
        SetPlayerNum(arg1: string): number;
        /** no arguments; answers -1 without a camera. */
        ShowIPConfig(): number;
        /** text, text; answers -1 without a camera. */
        SetVideoPlayerSize(arg1: string, arg2: string): number;
        /** no arguments; answers -1 without a camera. */
        DestroyOrvela(): number;
        /** text, text, text; answers -1 without a camera. */
        PlayRealVideo(arg1: string, arg2: string, arg3: string): number;
        /** no arguments; answers -1 without a camera. */
        StopPlayReal(): number;
        /** text; answers -1 without a camera. */
        OpenMotionDetection(arg1: string): number;
        /** text; answers -1 without a camera. */
        ChangeMDNum(arg1: string): number;
        /** no arguments; answers "" without a camera. */
        GetMDBlockStr(): string;
        /** text; answers -1 without a camera. */
        ExtSnapPicture(arg1: string): number;
        /** text; answers -1 without a camera. */
        ExtRealRecord(arg1: string): number;
        /** no arguments; answers -1 without a camera. */
        ExtTalkback(): number;
        /** no arguments; answers -1 without a camera. */
        ExtGetDiskList(): number;
        /** text; answers -1 without a camera. */
        ExtVideoFullFill(arg1: string): number;
        /** no arguments; answers -1 without a camera. */
        ExtVideoFullScreen(): number;
        /** no arguments; answers -1 without a camera. */
        ExtGetSnapRecordTalk_Status(): number;
        /** no arguments; answers -1 without a camera. */
        ExtVideoExitFullScreen(): number;
        /** text, text, text; answers -1 without a camera. */
        OnPlayBackFile(arg1: string, arg2: string, arg3: string): number;
        /** no arguments; answers -1 without a camera. */
        OnStopPlayBack(): number;
        /** no arguments; answers -1 without a camera. */
        OnPlayBackFast(): number;
        /** no arguments; answers -1 without a camera. */
        OnPlayBackSlow(): number;
        /** no arguments; answers -1 without a camera. */
        ExtGetPlayBackStatus(): number;
        /** no arguments; answers -1 without a camera. */
        ExtSoundSwitch(): number;
        /** integer; answers -1 without a camera. */
        ExtVideoZoom(arg1: number): number;
        /** text; answers -1 without a camera. */
        ExtOpenFolder(arg1: string): number;
        /** integer; answers -1 without a camera. */
        ExtSetPlayMode(arg1: number): number;
        /** no arguments; answers -1 without a camera. */
        ExtGetCtrlVersion(): number;
        /** integer, integer, integer, integer, integer, text; answers -1 without a camera. */
        ExtSetVideoMaskConfig(arg1: number, arg2: number, arg3: number, arg4: number, arg5: number, arg6: string): number;
        /** no arguments; answers "" without a camera. */
        ExtGetVideoMaskConfig(): string;
        /** no arguments; answers "" without a camera. */
        ExtGetPublicDocumentsrPath(): string;
        /** no arguments; answers "" without a camera. */
        ExtGetSelectPath(): string;
        /** no arguments; answers -1 without a camera. */
        ExtShowPathSelectNew(): number;
        /** integer, text, text; answers -1 without a camera. */
        OnPlayBackByTime(arg1: number, arg2: string, arg3: string): number;
        /** no arguments; answers -1 without a camera. */
        ExtGetPlayBackTimestamp(): number;
        /** integer, text; answers -1 without a camera. */
        ExtSetVideoROIConfig(arg1: number, arg2: string): number;
        /** no arguments; answers "" without a camera. */
        ExtGetVideoROIConfig(): string;
        /** integer, text; answers -1 without a camera. */
        ExtSetVideoHumanConfig(arg1: number, arg2: string): number;
        /** no arguments; answers "" without a camera. */
        ExtGetVideoHumanConfig(): string;
        /** text, text, integer; answers -1 without a camera. */
        SetVideoPlayerSizeAndZoomValue(arg1: string, arg2: string, arg3: number): number;
        // members:end
    }

    function create(container: object, options?: Options): Camera;
    const version: string;
}
