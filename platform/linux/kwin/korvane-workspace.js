// Korvane's view of KWin's windows. Loaded by Korvane over D-Bus
// (org.kde.KWin /Scripting); it tells Korvane, which serves
// com.korvane.app.Workspace on the session bus, which windows exist and
// which one is active: the whole list at start and at every addition and
// removal, the active window at every activation ("" for none). Korvane
// believes only KWin's own connection, and unloads the script when it quits.
// Plasma 5 (clients) and Plasma 6 (windows) name things differently.

var service = "com.korvane.app.Workspace";
var path = "/com/korvane/app/Workspace";

function windowList() {
    return workspace.windowList ? workspace.windowList() : workspace.clientList();
}

function activeWindow() {
    return workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
}

function idOf(window) {
    return window ? String(window.internalId) : "";
}

function kindOf(window) {
    if (window.desktopWindow || window.dock) return "excluded";
    if (window.normalWindow || window.dialog) return "normal";
    return "other";
}

function describe(window) {
    return {
        id: idOf(window),
        pid: Math.max(0, window.pid),
        appId: window.desktopFileName ? String(window.desktopFileName) : "",
        "class": String(window.resourceClass),
        instance: String(window.resourceName),
        kind: kindOf(window),
        skipTaskbar: !!window.skipTaskbar
    };
}

function report(message) {
    callDBus(service, path, service, "Report", JSON.stringify(message));
}

// A window being removed may still be listed while its signal runs.
function reportAll(leaving) {
    var windows = [];
    var list = windowList();
    for (var i = 0; i < list.length; ++i) {
        if (list[i] !== leaving) windows.push(describe(list[i]));
    }
    report({windows: windows, active: idOf(activeWindow())});
}

(workspace.windowActivated || workspace.clientActivated).connect(function (window) {
    report({active: idOf(window)});
});
(workspace.windowAdded || workspace.clientAdded).connect(function () { reportAll(null); });
(workspace.windowRemoved || workspace.clientRemoved).connect(function (window) { reportAll(window); });

reportAll(null);
