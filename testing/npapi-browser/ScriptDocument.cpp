#include "ScriptBindings.h"

namespace npbrowser {

using namespace script_bindings;

namespace script_bindings {

// The DOM of the test pages: body, elements, params; plug-in elements are
// proxies that fall through to the plug-in's scriptable object.
const char kPrelude[] = R"JS(
(function (global, B) {
    var body;
    function Node(tag) {
        this.tagName = String(tag).toUpperCase();
        this.nodeName = this.tagName;
        this.attributes = {};
        this.childNodes = [];
        this.parentNode = null;
        this.id = '';
        this.name = '';
        this.value = '';
        this.style = {};
    }
    function connected(n) {
        while (n) { if (n === body) return true; n = n.parentNode; }
        return false;
    }
    function visit(n, f) {
        f(n);
        for (var i = 0; i < n.childNodes.length; ++i) visit(n.childNodes[i], f);
    }
    function connectPlugin(p) {
        if (p._connected) return;
        var names = [], values = [];
        for (var a in p.attributes) { names.push(a); values.push(p.attributes[a]); }
        if (p.tagName === 'OBJECT') {
            names.push('PARAM'); values.push(null);
            for (var i = 0; i < p.childNodes.length; ++i) {
                var c = p.childNodes[i];
                if (c.tagName === 'PARAM') { names.push(c.name); values.push(c.value); }
            }
        }
        p._connected = true;
        B.connect(p, p.type, p.width, p.height, names, values);
    }
    Node.prototype.setAttribute = function (n, v) {
        n = String(n).toLowerCase(); v = String(v);
        this.attributes[n] = v;
        if (n === 'width' || n === 'height') this[n] = parseInt(v, 10) || 0;
        else if (n !== 'style') this[n] = v;
    };
    Node.prototype.getAttribute = function (n) {
        n = String(n).toLowerCase();
        return this.attributes.hasOwnProperty(n) ? this.attributes[n] : null;
    };
    Node.prototype.appendChild = function (c) {
        if (c.parentNode) c.parentNode.removeChild(c);
        this.childNodes.push(c);
        c.parentNode = this;
        if (connected(this)) visit(c, function (n) {
            // Elements with an id are also the window's named properties.
            if (n.id && !(n.id in global)) global[n.id] = n;
            if (n._plugin) connectPlugin(n);
        });
        return c;
    };
    Node.prototype.removeChild = function (c) {
        var i = this.childNodes.indexOf(c);
        if (i < 0) throw new Error('NotFoundError: the node is not a child of this node');
        var was = connected(c);
        this.childNodes.splice(i, 1);
        c.parentNode = null;
        if (was) visit(c, function (n) {
            if (n.id && global[n.id] === n) delete global[n.id];
            if (n._plugin && n._connected) { n._connected = false; B.disconnect(n); }
        });
        return c;
    };
    Node.prototype.getElementsByTagName = function (tag) {
        tag = String(tag).toUpperCase();
        var found = [];
        visit(this, function (n) { if (tag === '*' || n.tagName === tag) found.push(n); });
        return found;
    };
    function makePluginElement(tag) {
        var t = new Node(tag);
        t._plugin = true;
        t._connected = false;
        t.type = '';
        var p = B.pluginElement(t), w = 0, h = 0;
        function size(name) {
            return {
                get: function () { return name === 'width' ? w : h; },
                set: function (v) {
                    v = parseInt(v, 10) || 0;
                    if (name === 'width') w = v; else h = v;
                    t.attributes[name] = String(v);
                    if (t._connected) B.resize(p, w, h);
                },
                enumerable: true
            };
        }
        Object.defineProperty(t, 'width', size('width'));
        Object.defineProperty(t, 'height', size('height'));
        return p;
    }
    function createElement(tag) {
        tag = String(tag).toLowerCase();
        return (tag === 'object' || tag === 'embed') ? makePluginElement(tag) : new Node(tag);
    }
    body = new Node('body');
    var document = {
        body: body,
        documentElement: body,
        createElement: createElement,
        getElementById: function (id) {
            var found = null;
            visit(body, function (n) { if (found === null && n.id === String(id)) found = n; });
            return found;
        },
        getElementsByTagName: function (tag) { return body.getElementsByTagName(tag); }
    };
    body.ownerDocument = document;
    document.window = global;
    global.document = document;
    global.window = global;
    global.self = global;
    global.close = function () { B.close(); };
    global.alert = B.alert;
    global.console = { log: B.log, error: B.log, info: B.log, warn: B.log };
    global.__page_add = function (tag, attributes, params) {
        var e = createElement(tag);
        for (var a in attributes) e.setAttribute(a, attributes[a]);
        for (var i = 0; i < params.length; ++i) {
            var p = new Node('param');
            p.setAttribute('name', params[i][0]);
            p.setAttribute('value', params[i][1]);
            e.appendChild(p);
        }
        body.appendChild(e);
    };
})(this, __browser);
delete this.__browser;
)JS";

} // namespace script_bindings

} // namespace npbrowser
