# Sourced by in-debian.sh --vm: the command runs in a virtual machine booted from the root, with
# the release's own kernel, under KVM where /dev/kvm serves and under full emulation where not.
# What needs no such kernel runs in the root first, at the host's speed: setup.sh and the build
# (the command's own find them done). The root's disk image and its key are kept beside the root
# and made anew only when the root's packages change; the machine writes into a snapshot of it.
# The checkout reaches it through a shared folder, and it runs the command on a copy of it.
vmdir=$roots/debian-$release-vm
limit=${TAVORINE_VM_LIMIT:-2400}

command -v qemu-system-x86_64 >/dev/null || {
    echo "in-debian: installing qemu-system-x86"
    apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-system-x86 >/dev/null
}
if ! ls "$root"/boot/vmlinuz-* >/dev/null 2>&1; then
    echo "in-debian: installing Debian $release's kernel in the root"
    in_root "${clean[@]}" DEBIAN_FRONTEND=noninteractive bash -c \
        'apt-get update -qq && apt-get install -y -qq --no-install-recommends linux-image-amd64 initramfs-tools kmod >/dev/null'
fi
echo "in-debian: setting up and building in the root, outside the virtual machine"
in_root "${clean[@]}" bash -c \
    'cd /src && { bash scripts/setup.sh || [ $? -eq 77 ]; } && . scripts/common.sh && build_tree /src /src/build'

kernel=$(ls "$root"/boot/vmlinuz-* | sort -V | tail -n 1)
initrd=$root/boot/initrd.img-${kernel##*/vmlinuz-}
[ -f "$initrd" ] || die "the root's kernel $kernel has no initrd"
install -m 755 "$repo/scripts/vm-init.sh" "$root/sbin/tavorine-vm-init"

# The checkout, and the command, leave the root for the shared folder.
mkdir -p "$vmdir"
rm -rf "$vmdir/share"
mkdir "$vmdir/share"
mv "$root/src" "$vmdir/share/src"
printf '%s\0' "${cmd[@]}" > "$vmdir/share/command"

key=$(cat "$root/var/lib/dpkg/status" "$root/sbin/tavorine-vm-init" | sha256sum)
if [ "$(cat "$vmdir/image.key" 2>/dev/null)" != "$key" ]; then
    echo "in-debian: making the virtual machine's disk from the root"
    size=$(($(du -sm "$root" | cut -f1) * 5 / 4 + 2048))
    rm -f "$vmdir/image" "$vmdir/image.key"
    mke2fs -q -t ext4 -L root -d "$root" "$vmdir/image.new" "${size}M" >/dev/null || die "could not make the disk image"
    mv "$vmdir/image.new" "$vmdir/image"
    echo "$key" > "$vmdir/image.key"
fi

# qemu64 under emulation: with qemu 7.2's "max" (SMAP and the rest) the guest kernel oopsed as a
# 64-bit process far-returned from 32-bit code. KVM only where a guest really runs on it: a
# nested /dev/kvm was seen to open, and then to fail the guest's first instructions. The kernel
# alone, with no root to mount, panics within seconds.
accel=(-accel tcg -cpu qemu64)
how="under full emulation (no KVM that runs a guest here): many times slower"
if timeout 30 qemu-system-x86_64 -accel kvm -cpu host -m 1G -nodefaults -no-reboot -display none \
       -serial stdio -kernel "$kernel" -append "console=ttyS0 panic=-1 root=/dev/nowhere" </dev/null 2>&1 |
   grep -q 'Kernel panic'; then
    accel=(-accel kvm -cpu host)
    how="with KVM"
fi
echo "in-debian: running the command in a virtual machine of Debian $release, $how; at most $limit s"
console=$vmdir/console.log
: > "$console"
# Waited for in the background, and each process given the signal to die with its parent, so
# the machine ends with this script however it ends; ended at the limit.
setpriv --pdeathsig KILL -- timeout -k 10 "$limit" setpriv --pdeathsig KILL -- qemu-system-x86_64 "${accel[@]}" \
    -smp "$(nproc)" -m 8G -nodefaults -no-reboot -display none -serial "file:$console" -nic none \
    -kernel "$kernel" -initrd "$initrd" \
    -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/sbin/tavorine-vm-init" \
    -drive "file=$vmdir/image,format=raw,if=virtio,snapshot=on" \
    -virtfs "local,path=$vmdir/share,mount_tag=share,security_model=none" </dev/null &
machine=$!
tail -n +1 -f --pid="$machine" "$console" | sed -u 's/\r$//' &
rc=0
wait "$machine" || rc=$?
wait
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "in-debian: the virtual machine still ran after $limit s and was ended" >&2
    exit 1
fi
status=$(tr -d '\r' < "$console" | sed -n 's/^in-vm: the command ended with status \([0-9]*\)$/\1/p' | tail -n 1)
[ -n "$status" ] || die "the virtual machine ended before the command did (qemu's status $rc)"
exit "$status"
