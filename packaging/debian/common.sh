# --- shared by the maintainer scripts of tarvik ---
TARVIK_DIR=/opt/tarvik
# The data folder (settings, log, crash dumps), owned by the service account.
TARVIK_DATA='@TARVIK_DATA_DIR@'
# The service account and its group.
TARVIK_ACCOUNT=tarvik
# The named-objects folder that the service and the members' tray programs share.
TARVIK_OBJECTS=/run/tarvik
# What the package made itself (the account, the group), so that a purge removes only that.
TARVIK_STATE=/var/lib/tarvik
TARVIK_PRODUCT_CODE='@TARVIK_PRODUCT_CODE@'
TARVIK_VERSION='@TARVIK_VERSION@'
# HKEY_LOCAL_MACHINE of the registry stand-in that the service and the installer program read.
TARVIK_HKLM=/etc/tarvik/registry/HKEY_LOCAL_MACHINE
TARVIK_UNINSTALL_KEY='SOFTWARE Microsoft Windows CurrentVersion Uninstall'

# tarvik_key_dir BASE NAME...: the directory of the key BASE\NAME\..., each name matched without
# regard to letter case as the registry does (the exact spelling first, else the first match), and
# spelt as given where no such key exists yet.
tarvik_key_dir() {
    dir=$1
    shift
    for name in "$@"; do
        if [ ! -d "$dir/$name" ] && [ -d "$dir" ]; then
            lower=$(printf '%s' "$name" | tr '[:upper:]' '[:lower:]')
            found=$(ls -1A "$dir" | LC_ALL=C sort | while IFS= read -r entry; do
                if [ -d "$dir/$entry" ] &&
                    [ "$(printf '%s' "$entry" | tr '[:upper:]' '[:lower:]')" = "$lower" ]; then
                    printf '%s' "$entry"
                    break
                fi
            done)
            [ -n "$found" ] && name=$found
        fi
        dir=$dir/$name
    done
    printf '%s\n' "$dir"
}

# tarvik_write_value KEYDIR NAME TEXT: a string value, replaced atomically.
tarvik_write_value() {
    printf '%s\n' "$3" >"$1/.$2.new"
    chmod 0644 "$1/.$2.new"
    mv -f "$1/.$2.new" "$1/$2"
}

tarvik_entry_dir() {
    # shellcheck disable=SC2086
    tarvik_key_dir "$TARVIK_HKLM" $TARVIK_UNINSTALL_KEY "$TARVIK_PRODUCT_CODE"
}

# The uninstall entry: found by its DisplayName by `tarvik -x`, whose installer program runs the
# RemovalCommand of the key named by the product code.
tarvik_write_uninstall_entry() {
    key=$(tarvik_entry_dir)
    mkdir -p "$key"
    chmod 0755 "$key"
    tarvik_write_value "$key" DisplayName "Tarvik"
    tarvik_write_value "$key" DisplayVersion "$TARVIK_VERSION"
    tarvik_write_value "$key" Publisher "Nordal"
    tarvik_write_value "$key" InstallLocation "$TARVIK_DIR"
    tarvik_write_value "$key" UninstallString "MsiExec.exe /I$TARVIK_PRODUCT_CODE"
    tarvik_write_value "$key" RemovalCommand "dpkg --remove tarvik-desktop tarvik"
}

# Takes the entry away, and the keys above it that it leaves empty.
tarvik_remove_uninstall_entry() {
    key=$(tarvik_entry_dir)
    rm -rf "$key"
    key=$(dirname "$key")
    while [ "$key" != "$TARVIK_HKLM" ] && [ "$key" != / ] && rmdir "$key" 2>/dev/null; do
        key=$(dirname "$key")
    done
}

# tarvik_as_account COMMAND...: runs COMMAND as the service account, with its group only and an empty
# environment. Whatever is done inside the data folder, which the group may write, is done this way:
# a link planted there then leads only to what the account may touch anyway.
tarvik_as_account() {
    setpriv --reuid="$TARVIK_ACCOUNT" --regid="$TARVIK_ACCOUNT" --clear-groups --reset-env -- "$@"
}

# tarvik_is_plain_file PATH: a regular file with one link, not a symbolic link.
tarvik_is_plain_file() {
    [ ! -L "$1" ] && [ -f "$1" ] && [ "$(stat -c %h -- "$1")" = 1 ]
}
# --- end of the shared part ---
