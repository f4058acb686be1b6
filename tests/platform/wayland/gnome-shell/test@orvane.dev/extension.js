// What the tests need of GNOME Shell that it keeps from other programs: activate a window by
// its title and read the screen. The overview, which the shell opens at start, is closed.
const {Gio, GLib, Shell} = imports.gi;
const Main = imports.ui.main;

const INTERFACE = `<node><interface name="dev.orvane.Test">
  <method name="Activate"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
  <method name="Screenshot"><arg type="s" direction="in"/><arg type="b" direction="out"/></method>
</interface></node>`;

class TestDriver {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE, this);
        this._object.export(Gio.DBus.session, '/dev/orvane/Test');
        if (Main.layoutManager._startingUp)
            this._startup = Main.layoutManager.connect('startup-complete', () => Main.overview.hide());
        else
            Main.overview.hide();
    }

    disable() {
        if (this._startup)
            Main.layoutManager.disconnect(this._startup);
        this._object.unexport();
    }

    Activate(title) {
        for (const actor of global.get_window_actors()) {
            if (actor.meta_window.get_title() === title) {
                actor.meta_window.activate(global.display.get_current_time_roundtrip());
                return true;
            }
        }
        return false;
    }

    ScreenshotAsync([path], invocation) {
        const stream = Gio.File.new_for_path(path).replace(null, false, Gio.FileCreateFlags.NONE, null);
        new Shell.Screenshot().screenshot(false, stream, (shooter, result) => {
            try {
                shooter.screenshot_finish(result);
                stream.close(null);
                invocation.return_value(new GLib.Variant('(b)', [true]));
            } catch (e) {
                invocation.return_dbus_error('dev.orvane.Test.Error', String(e));
            }
        });
    }
}

function init() {
    return new TestDriver();
}
