# A Secret Service on the session bus that holds one password and answers
# every search only after DELAY seconds, like a keyring waiting for the user
# to unlock it. Enough of the interface for libsecret to read a password.
import sys
import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

DELAY = float(sys.argv[1])
SECRET = sys.argv[2].encode()
SERVICE = 'org.freedesktop.Secret.Service'
ITEM = dbus.ObjectPath('/org/freedesktop/secrets/collection/login/1')
SESSION = dbus.ObjectPath('/org/freedesktop/secrets/session/1')


class Service(dbus.service.Object):
    @dbus.service.method(SERVICE, in_signature='sv', out_signature='vo')
    def OpenSession(self, algorithm, _input):
        if algorithm != 'plain':
            raise dbus.exceptions.DBusException('only plain', name='org.freedesktop.DBus.Error.NotSupported')
        return dbus.String('', variant_level=1), SESSION

    @dbus.service.method(SERVICE, in_signature='a{ss}', out_signature='aoao', async_callbacks=('ok', 'err'))
    def SearchItems(self, _attributes, ok, err):
        GLib.timeout_add(int(DELAY * 1000), lambda: ok(dbus.Array([ITEM], 'o'), dbus.Array([], 'o')) and False)

    @dbus.service.method(SERVICE, in_signature='aoo', out_signature='a{o(oayays)}')
    def GetSecrets(self, items, _session):
        return {i: (SESSION, dbus.ByteArray(b''), dbus.ByteArray(SECRET), 'text/plain') for i in items}

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature='s', out_signature='a{sv}')
    def GetAll(self, _interface):
        return {'Collections': dbus.Array([], 'o')}


DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
Service(bus, '/org/freedesktop/secrets')
name = dbus.service.BusName('org.freedesktop.secrets', bus)
GLib.MainLoop().run()
