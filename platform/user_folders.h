#pragma once
#include <string>

// The user's own folders as the desktop names them.

// The pictures folder of the XDG user directories (XDG_PICTURES_DIR in
// "$XDG_CONFIG_HOME/user-dirs.dirs", as `xdg-user-dir PICTURES` reports it),
// read afresh on every call. Empty when none is configured or it is the
// home folder itself (how a disabled entry reads). Whether it exists is not
// checked.
std::string UserPicturesFolder();

// The user's home folder ($HOME, else the password database); empty when
// neither names one.
std::string UserHomeFolder();
