#!/usr/bin/python3
# A notification service for the session bus of a test: it shows nothing,
# writes every call to the record file given as its argument, and clicks a
# notification when asked on its own "test" interface.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

RECORD = sys.argv[1]
NAME = "org.freedesktop.Notifications"
PATH = "/org/freedesktop/Notifications"


def note(line):
    with open(RECORD, "a", encoding="utf-8") as out:
        out.write(line + "\n")


class Service(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.last = 0

    @dbus.service.method(NAME, in_signature="", out_signature="as")
    def GetCapabilities(self):
        return ["body", "actions"]

    @dbus.service.method(NAME, in_signature="susssasa{sv}i", out_signature="u")
    def Notify(self, app, replaces, icon, summary, body, actions, hints, timeout):
        self.last = int(replaces) if replaces else self.last + 1
        note("Notify %d %s|%s|%s" % (self.last, summary, body, ",".join(actions)))
        return self.last

    @dbus.service.method(NAME, in_signature="u", out_signature="")
    def CloseNotification(self, ident):
        note("Close %d" % ident)
        self.NotificationClosed(ident, 3)

    @dbus.service.method(NAME, in_signature="", out_signature="ssss")
    def GetServerInformation(self):
        return ("fake", "test", "1", "1.2")

    @dbus.service.signal(NAME, signature="uu")
    def NotificationClosed(self, ident, reason):
        pass

    @dbus.service.signal(NAME, signature="us")
    def ActionInvoked(self, ident, key):
        pass

    @dbus.service.method("test.Clicker", in_signature="u", out_signature="")
    def Click(self, ident):
        note("Clicked %d" % ident)
        self.ActionInvoked(ident, "default")


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
keep = dbus.service.BusName(NAME, bus)
service = Service(bus)
note("ready")
GLib.MainLoop().run()
