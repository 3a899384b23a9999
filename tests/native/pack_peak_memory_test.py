#!/usr/bin/env python3
"""The packer's memory does not grow with its payloads: a setup is packed
around an MSI with a generated cabinet of SIZE_MIB mebibytes (random bytes,
so deflating runs to the end and gives up for stored blocks, reading the
cabinet twice), and the packer's peak resident memory, as the kernel
reports it for that one child (wait4), must stay under 256 MiB. The setup
must then verify. Takes about a minute; the cabinet is removed afterwards.

    pack_peak_memory_test.py PACKER SOURCE_DIR WORK_DIR PRIVATE_KEY [SIZE_MIB]
"""
import os
import shutil
import subprocess
import sys

LIMIT_KIB = 256 * 1024


def main():
    packer, source, work, key = (os.path.abspath(argument) for argument in sys.argv[1:5])
    size_mib = int(sys.argv[5]) if len(sys.argv) > 5 else 384
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    subprocess.run(["bash", os.path.join(source, "bench/make-bench-msi.sh"), work, str(size_mib), "random"],
                   check=True)
    # A stand-in stub: a tiny x64 program with the key resource a launcher has.
    with open(os.path.join(work, "stub.c"), "w") as stub:
        stub.write("int main(void) { return 0; }\n")
    with open(os.path.join(work, "stub.rc"), "w") as rc:
        rc.write('MSISTUB_VERIFICATION_KEY RCDATA "key.blob"\n')
    subprocess.run(["openssl", "rsa", "-in", key, "-pubout", "-outform", "MSBLOB", "-out", "key.blob"], cwd=work,
                   check=True, stderr=subprocess.DEVNULL)
    subprocess.run(["x86_64-w64-mingw32-windres", "stub.rc", "-O", "coff", "-o", "stub.res"], cwd=work, check=True)
    subprocess.run(["x86_64-w64-mingw32-gcc-posix", "-Os", "-s", "-o", "stub.exe", "stub.c", "stub.res"], cwd=work,
                   check=True)

    setup = os.path.join(work, "setup.exe")
    child = subprocess.Popen([packer, "pack", "--stub", os.path.join(work, "stub.exe"), "--key", key,
                              "--out", setup, os.path.join(work, "bench.msi")])
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    cabinet = os.path.getsize(os.path.join(work, "bench.cab"))
    print("packed a %d-byte cabinet: exit code %d, peak resident memory %d KiB (limit %d KiB)"
          % (cabinet, child.returncode, usage.ru_maxrss, LIMIT_KIB))
    failures = []
    if child.returncode != 0:
        failures.append("the packer exited with %d" % child.returncode)
    elif usage.ru_maxrss >= LIMIT_KIB:
        failures.append("the packer's peak memory was %d KiB, not under %d KiB" % (usage.ru_maxrss, LIMIT_KIB))
    elif os.path.getsize(setup) <= cabinet:
        failures.append("the setup is smaller than the cabinet it carries")
    elif subprocess.run([packer, "verify", setup]).returncode != 0:
        failures.append("the setup does not verify")
    for failure in failures:
        print("FAILED: " + failure)
    if failures:
        return 1
    shutil.rmtree(work)
    return 0


if __name__ == "__main__":
    sys.exit(main())
