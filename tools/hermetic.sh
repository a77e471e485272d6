# Sourced by the scripts that run the program, its tests or its fuzz targets (as Main.cpp is by
# the test programs): nothing of the caller's session leads them (display, sound, fonts, locale,
# home, Wine prefix); each removes $HOME at its end.
for name in $(compgen -e); do
    [[ $name =~ ^(QT_|SDL_|PULSE_|XDG_|LC_|WINE|FONTCONFIG|DISPLAY$|WAYLAND_DISPLAY$|LANG|HOME$) ]] && unset "$name"
done
HOME=$(mktemp -d /tmp/ostr-home-XXXXXX)
echo "autospawn = no" >"$HOME/client.conf"
export HOME LC_ALL=C.UTF-8 PULSE_CLIENTCONFIG=$HOME/client.conf
