#!/bin/sh
# Writes the node password file that the lighttpd snippet includes, readable by root only, unless
# the file is already there. The package runs it on installation with a random password.
#
#   lighttpd-password.sh FILE [PASSWORD]
#
# A password of letters, digits and -_ travels unchanged in every carrier, the pwd query key too.
set -eu
file=$1
[ -e "$file" ] && exit 0
password=${2:-$(head -c 24 /dev/urandom | base64 | tr '+/' '-_')}
case $password in
  *[!A-Za-z0-9._~-]* | '')
    echo "lighttpd-password: use letters, digits and -._~ only" >&2
    exit 2 ;;
esac
mkdir -p "$(dirname "$file")"
umask 077
cat >"$file" <<CONF
# The node password of plugin_lumenhollow_login: every request to the console must carry it (see
# /usr/share/doc/plugin-lumenhollow-login/README.md). Change it here, then reload lighttpd.
setenv.add-environment += ("BOT_PASSWORD" => "$password")
CONF
