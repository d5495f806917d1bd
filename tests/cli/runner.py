# What the runner's Python tests share: the command line under test (the arguments of the test
# script: [EMULATOR...] CLI), a work folder, bounded runs and the tally of checks.
import os, shutil, subprocess, sys, tempfile

cli = sys.argv[1:]
native = os.environ.get("BRIXLANE_CLI_NATIVE", "1") == "1"  # 0 under Wine: no signals, no pty
work = tempfile.mkdtemp()
failed = []
path = lambda name: os.path.join(work, name)


def run(*args, status=None):
    p = subprocess.run(cli + list(args), stdin=subprocess.DEVNULL, capture_output=True,
                       timeout=300, env=dict(os.environ, LC_ALL="C.UTF-8"))
    out, err = (s.decode("utf-8").replace("\r\n", "\n") for s in (p.stdout, p.stderr))
    assert status is None or p.returncode == status, (p.returncode, err[-500:])
    return out, err


def check(name):
    """Runs the decorated function at once; a failure is reported and the next check runs."""
    def wrap(f):
        try:
            f()
            print("ok  ", name)
        except Exception as e:
            print("FAIL", name, repr(e)[:1500])
            failed.append(name)
    return wrap


def finish():
    shutil.rmtree(work, ignore_errors=True)
    print(f"{len(failed)} failed")
    sys.exit(1 if failed else 0)
