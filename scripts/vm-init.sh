#!/bin/bash
# The first process of in-debian.sh's virtual machine: mounts what a system has, runs the command
# that in-debian.sh left in the shared folder, on a copy of the checkout in /src, says how it
# ended on the console, and powers the machine off.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin
fs() { mountpoint -q "$3" || mount -t "$1" "$2" "$3"; }
fs proc proc /proc
fs sysfs sys /sys
fs devtmpfs dev /dev
mkdir -p /dev/pts /dev/shm /share /src
fs devpts devpts /dev/pts
fs tmpfs tmpfs /dev/shm
fs tmpfs tmpfs /run
fs tmpfs tmpfs /tmp
fs tmpfs tmpfs /src
ip link set lo up 2>/dev/null
modprobe 9pnet_virtio && modprobe 9p &&
    mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 share /share &&
    cp -a /share/src/. /src &&
    mapfile -d '' command < /share/command
rc=$?
if [ "$rc" -eq 0 ]; then
    "${command[@]}" </dev/null
    rc=$?
else
    echo "in-vm: the shared folder could not be read"
fi
echo "in-vm: the command ended with status $rc"
sync
echo o > /proc/sysrq-trigger
sleep 30
