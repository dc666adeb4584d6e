# Installs the Debian packages a set-up command needs, only those that are missing.
# Usage: ensure_packages pkg...
ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libcairo2-dev libfreetype-dev
    libfontconfig-dev libjpeg62-turbo-dev libpng-dev zlib1g-dev fonts-liberation fonts-dejavu-core librsvg2-bin)
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth libxml2-utils librsvg2-bin emf2svg libwmf-bin imagemagick
    fonts-urw-base35 libjpeg-turbo-progs poppler-utils python3 desktop-file-utils appstream man-db x11-utils)
# Looking at the window as a user would: a window manager under Xvfb, and a pointer to drag with.
LOOK_PACKAGES=(openbox xdotool desktop-file-utils)
# What tools/reader-matrix renders the outputs with, and compares them by.
READER_PACKAGES=(inkscape libreoffice-draw chromium poppler-utils librsvg2-bin emf2svg libwmf-bin imagemagick
    fonts-urw-base35)
