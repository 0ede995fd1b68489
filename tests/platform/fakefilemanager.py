#!/usr/bin/python3
# A file manager for the session bus of a test: it shows nothing and writes
# each ShowItems call to the record file given as its first argument. With
# "refuse" as its second argument it answers every call with an error, as a
# file manager that cannot show the items would.
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

RECORD = sys.argv[1]
REFUSE = len(sys.argv) > 2 and sys.argv[2] == "refuse"
NAME = "org.freedesktop.FileManager1"
PATH = "/org/freedesktop/FileManager1"


class Refused(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.DBus.Error.Failed"


class Service(dbus.service.Object):
    @dbus.service.method(NAME, in_signature="ass", out_signature="")
    def ShowItems(self, uris, startup_id):
        with open(RECORD, "a", encoding="utf-8") as out:
            out.write("ShowItems %s\n" % " ".join(uris))
        if REFUSE:
            raise Refused("cannot show these items")


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
service = Service(bus, PATH)
name = dbus.service.BusName(NAME, bus)
# Ready: the name is owned.
with open(RECORD, "a", encoding="utf-8") as out:
    out.write("ready\n")
GLib.MainLoop().run()
