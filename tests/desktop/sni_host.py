#!/usr/bin/python3
"""A StatusNotifierItem host for tests: owns org.kde.StatusNotifierWatcher on
the session bus, as a KDE or GNOME-with-extension panel does, and drives the
registered item by commands read from stdin, one per line:
  menu            prints "MENU" and the item's menu labels, tab-separated;
  activate        calls Activate (what a panel sends on a click) and prints "OK";
  click LABEL     sends "clicked" to the menu item LABEL and prints "OK";
  title           prints "TITLE" and the item's tool-tip title.
Prints "READY" once it owns the name and "ITEM <service> <path>" when an item
registers. Errors are printed as "ERROR <text>".
"""
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"

dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
items = []
INTROSPECTION = """<node>
 <interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
 </interface>
 <interface name="org.freedesktop.DBus.Properties">
  <method name="Get"><arg type="s" direction="in"/><arg type="s" direction="in"/>
   <arg type="v" direction="out"/></method>
  <method name="GetAll"><arg type="s" direction="in"/><arg type="a{sv}" direction="out"/></method>
 </interface>
</node>"""


def say(*words):
    print(*words, flush=True)


class Watcher(dbus.service.Object):
    def properties(self):
        return {"IsStatusNotifierHostRegistered": dbus.Boolean(True),
                "ProtocolVersion": dbus.Int32(0),
                "RegisteredStatusNotifierItems": dbus.Array(
                    [n + p for n, p in items], signature="s")}

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        name, path = (sender, service) if service.startswith("/") else (service,
                                                                         "/StatusNotifierItem")
        items.append((name, path))
        say("ITEM", name, path)
        self.StatusNotifierItemRegistered(name + path)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="")
    def StatusNotifierHostRegistered(self):
        pass

    # Qt reads the watcher's properties through its introspection data, which
    # dbus-python does not give for properties.
    @dbus.service.method(dbus.INTROSPECTABLE_IFACE, out_signature="s")
    def Introspect(self):
        return INTROSPECTION

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        return self.properties()[prop]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.properties()


def item_object():
    name, path = items[-1]
    return bus.get_object(name, path)


def menu_entries():
    item = item_object()
    path = item.Get(ITEM, "Menu", dbus_interface=dbus.PROPERTIES_IFACE)
    menu = bus.get_object(items[-1][0], path)
    try:
        menu.AboutToShow(0, dbus_interface=MENU)
    except dbus.DBusException:
        pass
    _, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
    entries = []
    for child in layout[2]:
        ident, props = int(child[0]), child[1]
        if "label" in props and props.get("type", "standard") != "separator":
            entries.append((str(props["label"]).replace("_", ""), ident))
    return menu, entries


def command(line):
    words = line.split(None, 1)
    if not words:
        return
    try:
        if not items:
            say("ERROR no item registered")
        elif words[0] == "menu":
            _, entries = menu_entries()
            say("MENU", "\t".join(label for label, _ in entries))
        elif words[0] == "activate":
            item_object().Activate(dbus.Int32(20), dbus.Int32(20), dbus_interface=ITEM)
            say("OK")
        elif words[0] == "click":
            menu, entries = menu_entries()
            ident = dict(entries)[words[1]]
            menu.Event(dbus.Int32(ident), "clicked", dbus.Int32(0, variant_level=1),
                       dbus.UInt32(0), dbus_interface=MENU)
            say("OK")
        elif words[0] == "title":
            tip = item_object().Get(ITEM, "ToolTip", dbus_interface=dbus.PROPERTIES_IFACE)
            say("TITLE", str(tip[2]))
        else:
            say("ERROR unknown command", words[0])
    except Exception as e:  # the test reads the reason
        say("ERROR", type(e).__name__, str(e).replace("\n", " "))


def on_input(source, condition):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    command(line.strip())
    return True


name = dbus.service.BusName(WATCHER, bus)
watcher = Watcher(bus, "/StatusNotifierWatcher")
GLib.io_add_watch(sys.stdin, GLib.IO_IN | GLib.IO_HUP, on_input)
say("READY")
loop = GLib.MainLoop()
loop.run()
