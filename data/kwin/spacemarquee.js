// Places Spacemarquee's own windows where the program says, and tells it what only KWin knows: where
// its windows are, and which window is in front. Every decision is the program's.
var service = "org.spacemarquee.Spacemarquee";
var path = "/KWinBridge";
var iface = "org.spacemarquee.KWinBridge";
var ours = /^Spacemarquee (label|editor) \d+/;
var lastForeign = null; // the user's window, to give the keyboard back to
var handBack = [];
var retitled = []; // other programs' windows whose captions are followed

function isOurs(c) {
    return c && ours.test(c.caption);
}

var desktopObjects = Array.isArray(workspace.desktops); // KWin 6; KWin 5 numbers its desktops

function desktopIdOf(c) {
    if (desktopObjects && c.desktops.length === 1) return c.desktops[0].id;
    return "";
}

function report(c) {
    var g = c.frameGeometry;
    callDBus(service, path, iface, "Report", c.caption, c.pid, desktopIdOf(c), c.desktop,
             Math.round(g.x), Math.round(g.y), Math.round(g.width), Math.round(g.height));
}

function onCurrentDesktop(c) {
    if (c.onAllDesktops) return true;
    if (desktopObjects) return c.desktops.indexOf(workspace.currentDesktop) >= 0;
    return c.desktop === workspace.currentDesktop;
}

function setDesktop(c, id, number) {
    if (desktopObjects) {
        for (var i = 0; i < workspace.desktops.length; ++i)
            if (workspace.desktops[i].id === id) c.desktops = [workspace.desktops[i]];
    } else if (number > 0 && c.desktop !== number) {
        c.desktop = number;
    }
}

// The program answers with where the window belongs: desktop, frame, whether it takes the keyboard.
function place(c) {
    callDBus(service, path, iface, "Placement", c.caption, c.pid, function (answer) {
        if (!answer) return;
        var p = JSON.parse(answer);
        if (!p.known) return;
        c.skipTaskbar = true;
        c.skipPager = true;
        c.skipSwitcher = true;
        c.keepAbove = true;
        setDesktop(c, p.desktop, p.number);
        c.frameGeometry = {x: p.x, y: p.y, width: p.width, height: p.height};
        c.opacity = p.alpha;
        if (p.focus) workspace.activeClient = c;
        report(c);
    });
}

function follow(c) {
    if (!isOurs(c)) return;
    // A new title is the program's doorbell: it has a new placement for this window.
    c.captionChanged.connect(function () { place(c); });
    c.clientFinishUserMovedResized.connect(function () { report(c); });
    // KWin moved it otherwise (kept it on a screen, a script, a rule); a drag reports once it ends.
    c.frameGeometryChanged.connect(function () { if (!c.move && !c.resize) report(c); });
    c.desktopChanged.connect(function () { report(c); });
    place(c);
}

function activated(c) {
    if (!c) return;
    if (isOurs(c)) {
        // A label never keeps the keyboard: it goes back to the user's window.
        // A label never keeps the keyboard: it goes back to the user's window, once KWin is done
        // activating (activating from inside the activation, or a window on its way out, breaks KWin).
        if (/^Spacemarquee label/.test(c.caption) && lastForeign) {
            var back = lastForeign;
            handBack.push(back);
            if (handBack.length === 1) callDBus(service, path, iface, "Echo", function () {
                var list = workspace.clientList();
                var target = handBack.pop();
                handBack = [];
                // Only to a window on the desktop on screen: activating one elsewhere would switch there.
                if (list.indexOf(target) >= 0 && onCurrentDesktop(target) && workspace.activeClient &&
                    isOurs(workspace.activeClient))
                    workspace.activeClient = target;
            });
        }
        return;
    }
    if (c.normalWindow || c.dialog) lastForeign = c; // not KWin's own popups and panels
    // A new caption of the window in front is what automatic naming reads at the next switch.
    if (retitled.indexOf(c) < 0) {
        retitled.push(c);
        c.captionChanged.connect(function () {
            if (workspace.activeClient === c) callDBus(service, path, iface, "Retitled", c.caption, c.pid);
        });
    }
    callDBus(service, path, iface, "Activated", c.caption, c.resourceClass || "", c.desktopFileName || "", c.pid);
}

workspace.clientAdded.connect(follow);
workspace.clientRemoved.connect(function (c) {
    if (c === lastForeign) lastForeign = null;
    if (retitled.indexOf(c) >= 0) retitled.splice(retitled.indexOf(c), 1);
    if (isOurs(c)) callDBus(service, path, iface, "Closed", c.caption, c.pid);
});
workspace.clientActivated.connect(activated);
var existing = workspace.clientList();
for (var i = 0; i < existing.length; ++i) follow(existing[i]);
activated(workspace.activeClient);
