# Sourced by the test scripts, as Hermetic() in Support.cpp does for the test programs: nothing
# from the caller's session may lead them to its display, sound server, audio driver, fonts, locale,
# home or Wine prefix, and no sound server is started on demand. Each script then sets what it
# relies on; it removes $HOME when it ends.
for name in $(compgen -e); do
    case $name in
        QT_* | SDL_* | PULSE_* | XDG_* | LC_* | WINE* | FONTCONFIG* | DISPLAY | WAYLAND_DISPLAY | LANG* | HOME) unset "$name" ;;
    esac
done
HOME=$(mktemp -d /tmp/ostr-home-XXXXXX)
echo "autospawn = no" >"$HOME/client.conf"
export HOME LC_ALL=C.UTF-8 PULSE_CLIENTCONFIG=$HOME/client.conf
