#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The quiplex developers
# SPDX-License-Identifier: MIT
# Publishes .deb and .rpm packages into the signed apt and dnf/zypper repositories under REPO:
# REPO/apt (pool/, dists/stable/) and REPO/rpm (the packages signed with rpmsign, repodata/).
# Packages already in REPO stay, so a new release goes into the repository machines already
# have; the indexes are made again over all of them and signed.
# Usage: QUIPLEX_GPG_HOME=DIR QUIPLEX_GPG_KEY=FINGERPRINT make_repos.sh REPO PACKAGE...
# QUIPLEX_REPO_URL is where REPO is published (for the sources and .repo files written there);
# SOURCE_DATE_EPOCH, when set, dates the indexes and signatures.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: make_repos.sh REPO PACKAGE..." >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
repo=$(realpath -m "$1")
shift
. "$here/release_key.sh"
url=${QUIPLEX_REPO_URL:-https://quiplex.example.org/repo}
export LC_ALL=C.UTF-8 TZ=UTC
umask 0022

debs=() rpms=()
for package in "$@"; do
    case $package in
    *.deb) debs+=("$(realpath -e "$package")") ;;
    *.rpm) rpms+=("$(realpath -e "$package")") ;;
    *) echo "not a .deb or .rpm: $package" >&2; exit 2 ;;
    esac
done

apt_repository() {
    local apt=$repo/apt deb name dists=dists/stable release_date
    for deb in "${debs[@]}"; do
        name=$(dpkg-deb -f "$deb" Package)
        mkdir -p "$apt/pool/main/${name:0:1}/$name"
        cp "$deb" "$apt/pool/main/${name:0:1}/$name/"
    done
    cd "$apt"
    rm -rf "$dists"
    mkdir -p "$dists/main/binary-amd64"
    apt-ftparchive packages pool >"$dists/main/binary-amd64/Packages"
    gzip -9nk "$dists/main/binary-amd64/Packages"
    release_date=$(date -u -d "@$sign_time" '+%a, %d %b %Y %H:%M:%S UTC')
    apt-ftparchive \
        -o APT::FTPArchive::Release::Origin=quiplex \
        -o APT::FTPArchive::Release::Label=quiplex \
        -o APT::FTPArchive::Release::Suite=stable \
        -o APT::FTPArchive::Release::Codename=stable \
        -o APT::FTPArchive::Release::Architectures=amd64 \
        -o APT::FTPArchive::Release::Components=main \
        -o "APT::FTPArchive::Release::Description=quiplex releases" \
        -o "APT::FTPArchive::Release::Date=$release_date" \
        release "$dists" >"$repo/Release.new"
    mv "$repo/Release.new" "$dists/Release"
    sign --clearsign --output "$dists/InRelease" "$dists/Release"
    sign --armor --detach-sign --output "$dists/Release.gpg" "$dists/Release"
    key_gpg --export --export-options export-minimal "$release_key" \
        >"$apt/quiplex-archive-keyring.gpg"
    # The source as the Linux guide shows it, for /etc/apt/sources.list.d/.
    cat >"$apt/quiplex.sources" <<EOF
Types: deb
URIs: $url/apt
Suites: stable
Components: main
Signed-By: /etc/apt/keyrings/quiplex-archive-keyring.gpg
EOF
    echo "$apt"
}

rpm_repository() {
    local rpms_dir=$repo/rpm rpm copy
    mkdir -p "$rpms_dir"
    for rpm in "${rpms[@]}"; do
        copy=$rpms_dir/$(basename "$rpm")
        cp "$rpm" "$copy"
        # rpmsign looks for gpg2 unless told; gpg's clock held as for every other signature.
        rpmsign --addsign --define "__gpg /usr/bin/gpg" \
            --define "_gpg_path $QUIPLEX_GPG_HOME" --define "_gpg_name $release_key" \
            --define "_gpg_sign_cmd_extra_args --batch --faked-system-time $sign_time!" \
            "$copy" >/dev/null
    done
    createrepo_c --quiet --revision "$sign_time" --set-timestamp-to-revision "$rpms_dir"
    sign --armor --detach-sign --output "$rpms_dir/repodata/repomd.xml.asc" \
        "$rpms_dir/repodata/repomd.xml"
    key_gpg --armor --export --export-options export-minimal "$release_key" \
        >"$rpms_dir/RPM-GPG-KEY-quiplex"
    # For /etc/yum.repos.d/ (dnf) and /etc/zypp/repos.d/ (zypper).
    cat >"$rpms_dir/quiplex.repo" <<EOF
[quiplex]
name=quiplex releases
baseurl=$url/rpm
type=rpm-md
enabled=1
gpgcheck=1
repo_gpgcheck=1
gpgkey=$url/rpm/RPM-GPG-KEY-quiplex
EOF
    echo "$rpms_dir"
}

mkdir -p "$repo"
[ "${#debs[@]}" -eq 0 ] || (apt_repository)
[ "${#rpms[@]}" -eq 0 ] || (rpm_repository)
