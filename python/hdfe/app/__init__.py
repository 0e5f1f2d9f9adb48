"""The hdfe web app: open a vehicle, edit and check it, run it, compare runs and sweep values,
in a browser on this machine.

    python3 -m hdfe app [WORKSPACE] [--port N]

prints the address to open, ``http://127.0.0.1:PORT/?token=...``. The app reads and writes
files inside WORKSPACE only (default: the working directory); it answers on loopback unless
``--host`` names another address, and every request must carry its token. See
:func:`create_app` for using it from Python (e.g. with Flask's test client).
"""

import os
import pathlib

from .security import new_token

__all__ = ["create_app", "default_examples", "serve"]

#: The largest request body (an upload of a vehicle's files) [bytes].
MAX_REQUEST_BYTES = 16 * 1024 * 1024


def default_examples():
    """The example vehicles' folder: ``$HDFE_EXAMPLES``, else ``examples`` of the source tree
    this package is built from or installed beside (``share/hdfe/examples``); None if none."""
    if os.environ.get("HDFE_EXAMPLES"):
        return os.environ["HDFE_EXAMPLES"]
    here = pathlib.Path(__file__).resolve()
    for parent in here.parents:
        for candidate in (parent / "examples", parent / "share" / "hdfe" / "examples"):
            if any(candidate.glob("*/spec.txt")):
                return str(candidate)
    return None


def create_app(workspace, token=None, examples=None, hosts=None, run_seconds=20.0, sweep_seconds=120.0,
               program=None):
    """The Flask app serving ``workspace`` (a folder), guarded by ``token`` (a new random one
    by default; ``app.config["HDFE_TOKEN"]``).

    Args:
        examples: the folder of example vehicles (default: :func:`default_examples`).
        hosts: the host names answered (default: the loopback names).
        run_seconds, sweep_seconds: the deadlines of a run and of a sweep.
        program: the ``hdfe`` program, which writes the results file where the package cannot
            (default: ``$HDFE_BINARY``, else ``hdfe`` on the PATH).
    """
    from flask import Flask

    from . import security, views
    from .runs import Runs
    from .workspace import Workspace

    app = Flask(__name__, static_folder=None)
    app.config["MAX_CONTENT_LENGTH"] = MAX_REQUEST_BYTES
    app.config["HDFE_TOKEN"] = token or new_token()
    app.config["HDFE_WORKSPACE"] = Workspace(workspace, examples if examples is not None else default_examples())
    app.config["HDFE_RUNS"] = Runs(run_seconds=run_seconds, sweep_seconds=sweep_seconds)
    app.config["HDFE_PROGRAM"] = program
    app.json.sort_keys = False
    security.install(app, app.config["HDFE_TOKEN"], **({"hosts": hosts} if hosts else {}))
    app.register_blueprint(views.blueprint)
    return app


def serve(workspace, host="127.0.0.1", port=0, examples=None, out=None):
    """Serves the app until interrupted, printing its address with the token to ``out``.

    Port 0 takes a free port. A ``host`` other than loopback answers to that address too (and
    to the machine's name); ``0.0.0.0`` or ``::`` to any name the machine is reached by.
    """
    import socket
    import sys

    from werkzeug.serving import make_server

    from .security import LOOPBACK_NAMES

    hosts = list(LOOPBACK_NAMES)
    if host not in hosts:
        hosts.append(host)
        hosts.append(socket.gethostname())
    app = create_app(workspace, examples=examples, hosts=hosts)
    server = make_server(host, port, app, threaded=True)
    shown = f"[{host}]" if ":" in host else host
    url = f"http://{shown}:{server.server_port}/?token={app.config['HDFE_TOKEN']}"
    out = out or sys.stdout
    print(f"hdfe app: workspace {app.config['HDFE_WORKSPACE'].root}", file=out)
    print(url, file=out, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0
