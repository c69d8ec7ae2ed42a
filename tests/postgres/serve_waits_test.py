"""`brindle serve` started before its PostgreSQL server: it tries again, a line a try, and goes
on once the server answers; SIGTERM ends the wait. (A server that turns it away is not waited
for: the store's tests show that as kNotOurs.)

usage: serve_waits_test.py BRINDLE FOLDER (BRINDLE_TEST_POSTGRES: host= and user= of the server)"""
import os
import shutil
import signal
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "web"))
import harness  # noqa: E402

BRINDLE, FOLDER = sys.argv[1], sys.argv[2]
SERVER = dict(item.split("=", 1) for item in os.environ["BRINDLE_TEST_POSTGRES"].split())
SOCKET = ".s.PGSQL.5432"


def serve(name, location):
    # No phone at that port: once the database is open, the service ends (status 1).
    log = os.path.join(FOLDER, name + ".log")
    with open(log, "w", encoding="utf-8") as out:
        process = subprocess.Popen([BRINDLE, "serve", "--once", "--port",
                                    os.path.join(FOLDER, "no-port"), "--db", location],
                                   stderr=out)

    def tries():
        with open(log, encoding="utf-8") as text:
            return text.read().count("trying again")
    return process, tries


def main():
    if os.path.isdir(FOLDER):
        shutil.rmtree(FOLDER)
    os.makedirs(os.path.join(FOLDER, "later"))
    harness.postgres_database("serve_waits")
    login = f"user={SERVER['user']} dbname=serve_waits"

    # The server's socket appears in the folder the service looks in after its second try.
    later, tries = serve("later", f"host={os.path.join(FOLDER, 'later')} {login}")
    harness.wait_for(lambda: tries() >= 2, "a second try")
    os.symlink(os.path.join(SERVER["host"], SOCKET), os.path.join(FOLDER, "later", SOCKET))
    assert later.wait(harness.WAIT) == 1, "the service did not go on to the phone"

    stopped, tries = serve("stopped", f"host={os.path.join(FOLDER, 'none')} {login}")
    harness.wait_for(lambda: tries() >= 1, "a try")
    stopped.send_signal(signal.SIGTERM)
    assert stopped.wait(harness.WAIT) == 0
    print("ok")


main()
