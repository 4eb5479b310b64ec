/*
 * orvela.js: one camera API for every browser that can show the orvela camera.
 *
 *   orvela.create(container, {
 *       width: 640, height: 480,
 *       baseUrl: "http://192.168.1.64/", address: "192.168.1.64", ptzPort: 8091,
 *       installUrl: "https://example.com/orvela-setup.msi",
 *       onReady: function (camera) { camera.GetCtrlVersion(); },
 *       onEvent: function (event) { // event.text, event.type, event.subtype },
 *       onMissing: function (info) { // info.missing, info.installUrl, info.message }
 *   });
 *
 * NPAPI browsers get the plug-in by its MIME type, 32-bit Internet Explorer
 * the same library as an ActiveX control, and 64-bit Internet Explorer the
 * bridge program that hosts the camera out of process. The camera object has
 * the same members everywhere; a member the bridge lacks throws an error.
 *
 * Plain ECMAScript 3 without dependencies, so that it runs in Internet
 * Explorer 6 to 11 as well.
 */
var orvela = (function () {
    var MIME_TYPE = "application/x-orvela";
    var CONTROL_CLASS = "clsid:37B01B35-A939-54A1-A03C-1B49CDBAAACC";
    var BRIDGE_CLASS = "clsid:DF503770-8711-488F-B779-C289743BB4A9";
    var NOT_ALLOWED = "This page is not allowed to use the camera";

    // The camera members: name, number of arguments, what they answer.
    // members:begin
    var MEMBERS = [
        ["InitCtrl", 3, "number"],
        ["GetCtrlVersion", 0, "number"],
        ["LoadLang", 2, "number"],
        ["SetBufferTick", 2, "number"],
        ["SetBufferTickV2", 2, "number"],
        ["SetDeviceType", 2, "number"],
        ["SetUsernamePasswordAndLanguage", 3, "number"],
        ["SetPlayerNum", 1, "number"],
        ["ShowIPConfig", 0, "number"],
        ["SetVideoPlayerSize", 2, "number"],
        ["DestroyOrvela", 0, "number"],
        ["PlayRealVideo", 3, "number"],
        ["StopPlayReal", 0, "number"],
        ["OpenMotionDetection", 1, "number"],
        ["ChangeMDNum", 1, "number"],
        ["GetMDBlockStr", 0, "text"],
        ["ExtSnapPicture", 1, "number"],
        ["ExtRealRecord", 1, "number"],
        ["ExtTalkback", 0, "number"],
        ["ExtGetDiskList", 0, "number"],
        ["ExtVideoFullFill", 1, "number"],
        ["ExtVideoFullScreen", 0, "number"],
        ["ExtGetSnapRecordTalk_Status", 0, "number"],
        ["ExtVideoExitFullScreen", 0, "number"],
        ["OnPlayBackFile", 3, "number"],
        ["OnStopPlayBack", 0, "number"],
        ["OnPlayBackFast", 0, "number"],
        ["OnPlayBackSlow", 0, "number"],
        ["ExtGetPlayBackStatus", 0, "number"],
        ["ExtSoundSwitch", 0, "number"],
        ["ExtVideoZoom", 1, "number"],
        ["ExtOpenFolder", 1, "number"],
        ["ExtSetPlayMode", 1, "number"],
        ["ExtGetCtrlVersion", 0, "number"],
        ["ExtSetVideoMaskConfig", 6, "number"],
        ["ExtGetVideoMaskConfig", 0, "text"],
        ["ExtGetPublicDocumentsrPath", 0, "text"],
        ["ExtGetSelectPath", 0, "text"],
        ["ExtShowPathSelectNew", 0, "number"],
        ["OnPlayBackByTime", 3, "number"],
        ["ExtGetPlayBackTimestamp", 0, "number"],
        ["ExtSetVideoROIConfig", 2, "number"],
        ["ExtGetVideoROIConfig", 0, "text"],
        ["ExtSetVideoHumanConfig", 2, "number"],
        ["ExtGetVideoHumanConfig", 0, "text"],
        ["SetVideoPlayerSizeAndZoomValue", 3, "number"]
    ];
    // members:end

    // What the bridge of 64-bit Internet Explorer offers of them.
    var BRIDGE_MEMBERS = {
        InitCtrl: true, GetCtrlVersion: true, LoadLang: true,
        SetBufferTick: true, SetBufferTickV2: true, SetDeviceType: true
    };

    var serial = 0;

    // The window. Asked for each time instead of kept: Internet Explorer's
    // window is a host object, and a closure holding it would form a cycle
    // through the page's script that the script engine never frees.
    function globalObject() {
        return this;
    }

    function isInternetExplorer() {
        if (typeof ActiveXObject != "undefined")
            return true;
        try {
            // Internet Explorer 11 hides ActiveXObject from typeof.
            return "ActiveXObject" in globalObject();
        } catch (e) {
            return false;
        }
    }

    function is64BitExplorer() {
        var n = globalObject().navigator || {};
        return n.platform == "Win64" || n.cpuClass == "x64";
    }

    function hasPlugin() {
        var n = globalObject().navigator || {};
        return !!(n.mimeTypes && n.mimeTypes[MIME_TYPE]);
    }

    function messageOf(error) {
        if (error && typeof error == "object") {
            if (error.message || error.description)
                return String(error.message || error.description);
            if (typeof error.number == "number")
                return "Error 0x" + (error.number >>> 0).toString(16).toUpperCase();
        }
        return String(error);
    }

    // Plug-in members take no Function.apply in Internet Explorer: they are
    // called directly, with as many arguments as the page gave.
    function callMember(target, name, a) {
        switch (a.length) {
        case 0: return target[name]();
        case 1: return target[name](a[0]);
        case 2: return target[name](a[0], a[1]);
        case 3: return target[name](a[0], a[1], a[2]);
        case 4: return target[name](a[0], a[1], a[2], a[3]);
        case 5: return target[name](a[0], a[1], a[2], a[3], a[4]);
        default: return target[name](a[0], a[1], a[2], a[3], a[4], a[5]);
        }
    }

    // A global name for the plug-in or the bridge to call, unique to one
    // camera and taken back by forget().
    function makeGlobal(kind, value) {
        var name = "orvela_" + kind + "_" + (++serial);
        globalObject()[name] = value;
        return name;
    }

    // Each camera is a global of its own while it lives, and its event
    // handlers are made from source, with the global scope alone: nothing
    // the page's script engine holds in closures then leads back to the
    // element or the control. (JScript frees no cycle of closures, and a page
    // that never destroys its camera would keep both alive after it closed.)
    function relay(camera, parameters, call) {
        return new Function(parameters, camera._name + "._event(" + call + ");");
    }

    function forget(name) {
        if (!name)
            return;
        try {
            delete globalObject()[name];
        } catch (e) {
            // Older Internet Explorers refuse delete on window: leave an empty slot.
            globalObject()[name] = undefined;
        }
    }

    function makeElement(attribute, value, width, height) {
        var element = document.createElement("object");
        element.setAttribute(attribute, value);
        element.width = width;
        element.height = height;
        return element;
    }

    // The camera object a page gets: the members, the way the browser delivers
    // events, and the clean-up.
    function Camera(options, container) {
        this.browser = "";
        this.element = null;
        this.allowed = true;
        this.initResult = null;
        this._options = options;
        this._container = container;
        this._api = null;
        this._globals = [];
        this._timer = null;
        this._handler = null;
        this._destroyed = false;
        this._name = makeGlobal("camera", this);
        this._globals.push(this._name);
    }

    function memberOf(name, answers) {
        return function () {
            var camera = this;
            var target = camera._target();
            if (camera._destroyed || !target)
                throw new Error("The camera is not ready: " + name);
            if (camera.browser == "ie64" && !BRIDGE_MEMBERS[name])
                throw new Error(name + " is not available in 64-bit Internet Explorer");
            var answer;
            try {
                answer = callMember(target, name, arguments);
            } catch (e) {
                throw camera._failure(e);
            }
            if (answers == "text")
                return answer === undefined || answer === null ? "" : String(answer);
            if (answer === undefined || answer === null || answer === "")
                return -1;
            answer = Number(answer);
            return isNaN(answer) ? -1 : answer;
        };
    }

    for (var m = 0; m < MEMBERS.length; m++)
        Camera.prototype[MEMBERS[m][0]] = memberOf(MEMBERS[m][0], MEMBERS[m][2]);

    // The error a failed member call throws: the plug-in's own message
    // (getLastException repeats it where the engine lost it).
    Camera.prototype._failure = function (e) {
        var message = messageOf(e);
        if (this.browser != "ie64") {
            try {
                var last = this._target().getLastException();
                if (last)
                    message = String(last);
            } catch (ignored) {
            }
        }
        if (message.indexOf(NOT_ALLOWED) >= 0)
            this.allowed = false;
        else
            this._readAllowed();
        var error = new Error(message);
        error.description = message;
        return error;
    };

    // The element's own "allowed" where it has one; the bridge has none.
    Camera.prototype._readAllowed = function () {
        if (this.browser == "ie64")
            return;
        try {
            var allowed = this._target().allowed;
            if (typeof allowed == "boolean")
                this.allowed = allowed;
        } catch (e) {
        }
    };

    Camera.prototype._target = function () {
        if (this._api || !this.element || this._destroyed)
            return this._api;
        try {
            return this.element.object;
        } catch (e) {
            return null;
        }
    };

    Camera.prototype.supports = function (name) {
        var present = false;
        for (var i = 0; i < MEMBERS.length; i++) {
            if (MEMBERS[i][0] == name)
                present = true;
        }
        return present && (this.browser != "ie64" || !!BRIDGE_MEMBERS[name]);
    };

    Camera.prototype._event = function (text, type, subtype) {
        if (this._destroyed || !this._options.onEvent)
            return;
        this._options.onEvent({ text: String(text), type: Number(type), subtype: Number(subtype) });
    };

    Camera.prototype._ready = function (api, browser) {
        var camera = this;
        // Internet Explorer's control is asked of the element for each call:
        // the bridge holds the page's window, and a control the page's script
        // kept would keep the bridge, and with it the window, for ever.
        camera._api = browser == "npapi" ? api : null;
        camera.browser = browser;
        camera._handler = relay(camera, "text, type, subtype", "text, type, subtype");
        if (browser == "npapi") {
            api.addEventListener("OnCtrlEvent", camera._handler, false);
        } else if (browser == "ie") {
            api.attachEvent("onOnCtrlEvent", camera._handler);
        } else {
            // The bridge calls a page function by name with (subtype, type, text), as texts.
            var name = makeGlobal("events", relay(camera, "subtype, type, text",
                                                  "text, type, subtype"));
            camera._globals.push(name);
            api.SetIEWindow(globalObject(), name);
        }
        camera._readAllowed();
        var o = camera._options;
        if (o.address) {
            try {
                camera.initResult = camera.InitCtrl(o.baseUrl || "http://" + o.address + "/",
                                                    o.address, o.ptzPort || 80);
            } catch (e) {
                camera.initResult = -1;
            }
        }
        if (o.onReady)
            o.onReady(camera);
    };

    Camera.prototype._missing = function (missing, message) {
        this._remove();
        this._destroyed = true;
        this._forget();
        var o = this._options;
        if (o.onMissing)
            o.onMissing({ missing: missing, browser: this.browser, installUrl: o.installUrl || "",
                          message: message });
    };

    Camera.prototype._remove = function () {
        var element = this.element;
        this.element = null;
        if (element) {
            try {
                this._container.removeChild(element);
            } catch (e) {
            }
        }
    };

    Camera.prototype._forget = function () {
        for (var i = 0; i < this._globals.length; i++)
            forget(this._globals[i]);
        this._globals = [];
    };

    Camera.prototype.destroy = function () {
        if (this._destroyed)
            return;
        var api = this._target();
        this._destroyed = true;
        if (this._timer !== null)
            clearTimeout(this._timer);
        try {
            if (api && this.browser == "npapi")
                api.removeEventListener("OnCtrlEvent", this._handler, false);
            else if (api && this.browser == "ie")
                api.detachEvent("onOnCtrlEvent", this._handler);
        } catch (e) {
        }
        this._forget();
        this._api = null;
        this._handler = null;
        this._remove();
    };

    // NPAPI: the plug-in calls the function its "onload" parameter names once
    // it is ready; the function must exist before the element does.
    function embedPlugin(camera, width, height, timeout) {
        camera.browser = "npapi";
        if (!hasPlugin()) {
            camera._missing("plugin", "The orvela plug-in is not installed.");
            return;
        }
        var name = makeGlobal("ready", function (plugin) {
            forget(name);
            if (camera._timer !== null)
                clearTimeout(camera._timer);
            camera._timer = null;
            if (!camera._destroyed)
                camera._ready(plugin, "npapi");
        });
        camera._globals.push(name);
        var element = makeElement("type", MIME_TYPE, width, height);
        var param = document.createElement("param");
        param.setAttribute("name", "onload");
        param.setAttribute("value", name);
        element.appendChild(param);
        camera.element = element;
        camera._container.appendChild(element);
        camera._timer = setTimeout(function () {
            camera._timer = null;
            camera._missing("plugin", "The orvela plug-in did not load.");
        }, timeout);
    }

    // Internet Explorer makes the control when the element joins the page and
    // activates it once the running script has returned.
    function embedControl(camera, classId, browser, width, height, then) {
        camera.browser = browser;
        var element = makeElement("classid", classId, width, height);
        camera.element = element;
        try {
            camera._container.appendChild(element);
        } catch (e) {
            // A control that cannot be made leaves an element without one.
        }
        camera._timer = setTimeout(function () {
            camera._timer = null;
            if (camera._destroyed)
                return;
            var api = null;
            try {
                api = element.object;
            } catch (e) {
            }
            if (api)
                camera._ready(api, browser);
            else
                then();
        }, 0);
    }

    function create(container, options) {
        var o = options || {};
        var camera = new Camera(o, container);
        var width = o.width || 640, height = o.height || 480;
        if (!isInternetExplorer()) {
            embedPlugin(camera, width, height, o.timeout || 10000);
        } else if (is64BitExplorer()) {
            embedControl(camera, BRIDGE_CLASS, "ie64", width, height, function () {
                camera._missing("bridge", "orvelaX64 is not installed.");
            });
        } else {
            // 32-bit Internet Explorer; where the in-process control cannot be
            // made, the bridge may still be there.
            embedControl(camera, CONTROL_CLASS, "ie", width, height, function () {
                camera._remove();
                embedControl(camera, BRIDGE_CLASS, "ie64", width, height, function () {
                    camera.browser = "ie";
                    camera._missing("control", "The orvela control is not installed.");
                });
            });
        }
        return camera;
    }

    return { create: create, version: "1.0.0" };
})();
