#!/usr/bin/env python3
"""Peak resident memory of the program on the simulated instrument, with and
without both spectra at 32768 points (averaging on, "Inf").

usage: memory_bench.py PATH/TO/kr40
"""
import os
import resource
import subprocess
import sys
import tempfile

SETTINGS = {
    "time view": "",
    "both spectra, 32768 points": "[FFT]\nView_A1=1\nCalc_Both=1\nSize=5\nAve_On=1\nAve=6\n",
}


def report_peak_rss(kr40, folder, name, fft):
    krs = os.path.join(folder, "bench.krs")
    with open(krs, "w") as f:
        f.write("[Common]\nCH_D1=1\nCH_D2=1\nCH_A2=1\n" + fft)
    # Each run is the child of a process of its own, so that RUSAGE_CHILDREN
    # holds this run's peak only.
    pid = os.fork()
    if pid == 0:
        r = subprocess.run([kr40, "--simulate", "--lang=en", "--screenshot", os.path.join(folder, "x.png"),
                            "--frames", "40", krs], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if r.returncode != 0:
            os._exit(1)
        peak_kib = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
        print(f"{name:28s} {peak_kib / 1024:7.1f} MiB peak RSS", flush=True)
        os._exit(0)
    _, status = os.waitpid(pid, 0)
    return os.waitstatus_to_exitcode(status) == 0


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    ok = True
    with tempfile.TemporaryDirectory() as folder:
        for name, fft in SETTINGS.items():
            if not report_peak_rss(sys.argv[1], folder, name, fft):
                print(f"{name}: the run failed", file=sys.stderr)
                ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")
    sys.exit(main())
