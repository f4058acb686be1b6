// GNOME Shell 43 and 44 load an extension as a script through their importer, which takes a
// name from __init__.js before it reads a file of that name: `extension` here stands in for
// extension.js, the module that GNOME Shell 45 and later load. Both do the same.
const {Gio, GLib} = imports.gi;

const PATH = '/dev/orvane/ActiveWindow';
const INTERFACE = `<node><interface name="dev.orvane.ActiveWindow">
  <signal name="Changed">
    <arg type="s" name="wm_class"/><arg type="s" name="wm_class_instance"/>
    <arg type="s" name="app_id"/><arg type="x" name="pid"/><arg type="t" name="id"/>
  </signal>
  <method name="Current">
    <arg type="s" direction="out"/><arg type="s" direction="out"/>
    <arg type="s" direction="out"/><arg type="x" direction="out"/><arg type="t" direction="out"/>
  </method>
</interface></node>`;

// The focused window's identity; empty with no window focused.
function describe(window) {
    if (!window)
        return ['', '', '', 0, 0];
    return [window.get_wm_class() ?? '', window.get_wm_class_instance() ?? '',
        window.get_sandboxed_app_id() ?? window.get_gtk_application_id() ?? '',
        window.get_pid(), window.get_id()];
}

class ActiveWindowExtension {
    enable() {
        this._object = Gio.DBusExportedObject.wrapJSObject(INTERFACE,
            {Current: () => describe(global.display.focus_window)});
        this._object.export(Gio.DBus.session, PATH);
        this._focus = global.display.connect('notify::focus-window', () =>
            this._object.emit_signal('Changed',
                new GLib.Variant('(sssxt)', describe(global.display.focus_window))));
    }

    disable() {
        global.display.disconnect(this._focus);
        this._object.unexport();
        this._object = null;
    }
}

var extension = {init: () => new ActiveWindowExtension()};
