"""Command line of the hdfe Python package: ``python3 -m hdfe COMMAND ...``.

Commands:

* ``report SPEC -o report.html [--cycle NAME|FILE ... | --route FILE ... [--route-speed KMH]]
  [--set NAME=VALUE ...]``: run the vehicle (over the cycles or along the routes given, with
  the values set) and write its HTML report;
* ``report --batch summary.csv -o fleet.html``: write the HTML report of a
  batch summary;
* ``sweep MANIFEST.csv [--scheduler ADDRESS] [--out summary.csv] [--cycle NAME|FILE ... |
  --route FILE]``: run a batch manifest on a Dask cluster (a LocalCluster without
  ``--scheduler``) and write the batch summary (per cycle, with ``--cycle``, ``--route`` or
  a manifest's ``cycle`` or ``route`` column).
* ``app [WORKSPACE] [--port N] [--host ADDRESS]``: start the web app on this
  machine and print its address (with its access token).

Exit statuses follow the ``hdfe`` program: 0 on success, 1 for input and run
errors (for ``sweep``: also when any row failed), 2 for usage errors.
"""

import argparse
import importlib
import sys

EXIT_OK, EXIT_ERROR, EXIT_USAGE = 0, 1, 2


def _add_report(subparsers):
    p = subparsers.add_parser(
        "report", help="write a self-contained HTML report with figures",
        description="Write a self-contained HTML report: for one vehicle (SPEC), its results, "
                    "vehicle summary and figures; for a batch summary (--batch), a sortable "
                    "table and the economies plotted.")
    p.add_argument("spec", nargs="?", metavar="SPEC", help="the vehicle's spec file")
    p.add_argument("--batch", metavar="SUMMARY.csv",
                   help="a batch summary CSV (from hdfe --batch) instead of a spec file")
    p.add_argument("-o", "--output", metavar="FILE",
                   help="the HTML file to write (default report.html, or fleet.html with --batch)")
    p.add_argument("--cycle", action="append", metavar="NAME|FILE",
                   help="run this cycle instead of the built-in ones: a library cycle's name or a "
                        "cycle file (repeat for more)")
    _add_route_options(p, "drive the vehicle along this route instead of the cycles: a CSV route file or a "
                          "GPX track (repeat for more)")
    p.add_argument("--set", action="append", metavar="NAME=VALUE", dest="settings",
                   help="set a spec or engineering value by its file name, e.g. TestMass=30000 "
                        "(repeat for more)")
    p.add_argument("--title", help="the batch report's heading")


def _add_route_options(p, route_help):
    p.add_argument("--route", action="append", metavar="FILE", help=route_help)
    p.add_argument("--route-speed", type=float, metavar="KMH",
                   help="the speed limit of a route file without one (a GPX track) [km/h]")


def _check_route_options(args, parser):
    """Usage errors of --route and --route-speed, as the hdfe program gives them."""
    if args.route_speed is not None:
        if not args.route:
            parser.error("--route-speed goes with --route")
        if not (args.route_speed > 0 and args.route_speed < float("inf")):
            parser.error(f"--route-speed takes a speed above 0 in km/h, not {args.route_speed:g}")
    if args.route and args.cycle:
        parser.error("give --cycle or --route, not both")


def _run_report(args, parser):
    if (args.spec is None) == (args.batch is None):
        parser.error("report: give either SPEC or --batch SUMMARY.csv")
    _check_route_options(args, parser)
    reports = importlib.import_module(".reporting", __package__ or "hdfe")
    if args.batch is not None:
        if args.cycle or args.route or args.settings:
            parser.error("report: --cycle, --route and --set apply to a SPEC's report, not to --batch")
        output = args.output or "fleet.html"
        reports.write_batch_report(args.batch, output, title=args.title)
    else:
        if args.title is not None:
            parser.error("report: --title applies to --batch only")
        output = args.output or "report.html"
        subject = args.spec
        if args.settings:
            hdfe = importlib.import_module(__package__ or "hdfe")
            subject = hdfe.load_vehicle(args.spec)
            for setting in args.settings:
                _set_value(subject, setting, parser)
        routes = None
        if args.route:
            hdfe = importlib.import_module(__package__ or "hdfe")
            routes = [hdfe.Route.read(route, speed_km_per_h=args.route_speed) for route in args.route]
        reports.report(subject, output, cycles=args.cycle, routes=routes)
    print(output)
    return EXIT_OK


def _set_value(vehicle, setting, parser):
    """NAME=VALUE on the vehicle, the text read as the value's kind; a usage error otherwise."""
    hdfe = importlib.import_module(__package__ or "hdfe")
    name, equals, text = setting.partition("=")
    kinds = {v["file_name"]: v["kind"] for v in hdfe.spec_values()}
    if not equals or name not in kinds:
        parser.error(f"--set takes NAME=VALUE with NAME a value's file name ({', '.join(kinds)}), not {setting!r}")
    kind = kinds[name]
    try:
        if kind == "text":
            value = text
        elif kind in ("real", "optional real"):
            value = None if kind == "optional real" and not text.strip() else float(text)
        else:
            value = int(text)
        vehicle[name] = value
    except (ValueError, TypeError) as error:
        parser.error(f"--set {setting}: {name} takes a {kind} value ({error})")


def _add_sweep(subparsers):
    p = subparsers.add_parser(
        "sweep", help="run a batch manifest on a Dask cluster",
        description="Run a batch manifest (the CSV of hdfe --batch) on a Dask cluster and write "
                    "its summary, the same table as hdfe --batch writes. Relative spec names are "
                    "taken from the manifest's folder; the spec files must be readable at the "
                    "same path on every worker.")
    p.add_argument("manifest", metavar="MANIFEST.csv", help="the manifest: spec, optional id, overrides")
    p.add_argument("--scheduler", metavar="ADDRESS",
                   help="the Dask scheduler, e.g. tcp://scheduler:8786 (default: a LocalCluster)")
    p.add_argument("--out", metavar="FILE", default="batch_summary.csv",
                   help="the summary CSV to write, '-' for standard output (default batch_summary.csv)")
    p.add_argument("--chunk-rows", metavar="N", type=int, default=10_000,
                   help="manifest rows per Dask task (default 10000)")
    p.add_argument("--cycle", action="append", metavar="NAME|FILE",
                   help="run every row over this cycle instead of the built-in ones: a library cycle's "
                        "name or a cycle file (repeat for more); the summary has a row per row and cycle")
    _add_route_options(p, "drive every row along this CSV route file instead; the summary has a row per row "
                          "and route")


def _run_sweep(args, parser):
    import os

    import pandas

    hdfe = importlib.import_module(__package__ or "hdfe")
    sweeps = importlib.import_module(".dask", __package__ or "hdfe")

    if args.chunk_rows < 1:
        parser.error("--chunk-rows must be at least 1")
    manifest = pandas.read_csv(args.manifest, dtype=str, keep_default_na=False, encoding="utf-8-sig")
    manifest.columns = [str(column).strip() for column in manifest.columns]
    if "spec" not in manifest.columns:
        parser.error(f"the manifest {args.manifest} has no 'spec' column")
    try:
        hdfe._manifest_columns(manifest.columns)
    except ValueError as error:
        parser.error(str(error))
    if args.cycle and "cycle" in manifest.columns:
        parser.error(f"--cycle runs every row over the cycles given, and the manifest {args.manifest} has a "
                     "cycle column: give the cycles one way")
    _check_route_options(args, parser)
    if args.route_speed is not None:
        parser.error("--route-speed goes with a single run (report): a sweep drives CSV route files, "
                     "which give their own limits")
    if args.route and len(args.route) > 1:
        parser.error("sweep: --route drives every row along one route; give one")
    if args.route and ("route" in manifest.columns or "cycle" in manifest.columns):
        parser.error(f"--route drives every row along the route given, and the manifest {args.manifest} has a "
                     "route or cycle column: give the rows' runs one way")
    route = args.route[0] if args.route else None
    base = os.path.dirname(os.path.abspath(args.manifest))
    if args.out != "-":
        hdfe._check_output(args.out, _sweep_inputs(hdfe, args.manifest, manifest, base,
                                                   (args.cycle or []) + (args.route or [])), "summary file")
    client = None
    if args.scheduler:
        import distributed

        client = distributed.Client(args.scheduler)
    try:
        progress = _print_progress if sys.stderr.isatty() else None
        summary = sweeps.sweep(manifest, client=client, chunk_rows=args.chunk_rows, base=base, progress=progress,
                               cycles=args.cycle, route=route)
    finally:
        if client is not None:
            client.close()
    hdfe.write_summary_csv(summary, args.out)
    return EXIT_OK if (summary["status"] == "ok").all() else EXIT_ERROR


def _sweep_inputs(hdfe, manifest_name, manifest, base, cycles=()):
    """The files a sweep reads, as far as this machine sees them: the manifest, each spec file
    and the files it names, the engine and transmission files rows name instead, and the cycle
    files."""
    import os

    yield manifest_name
    yield from cycles
    if "cycle" in manifest.columns:
        yield from (hdfe._row_cycle(cell, base) for cell in manifest["cycle"] if cell)
    if "route" in manifest.columns:
        yield from (hdfe._row_route(cell, base) for cell in manifest["route"] if cell)
    named = [name for name in ("EngineFile", "TransmissionFile") if name in manifest.columns]
    seen = set()
    for spec, *others in zip(manifest["spec"], *(manifest[name] for name in named)):
        spec = os.path.join(base, spec)
        for other in others:
            if other:
                yield os.path.join(os.path.dirname(spec), other)
        if spec in seen:
            continue
        seen.add(spec)
        yield spec
        try:
            files = hdfe.load_vehicle(spec).files
        except (hdfe.Error, OSError, ValueError):
            continue
        for file in files:
            yield file["path"]


def _print_progress(done, total):
    print(f"\rsweep: {done} of {total} rows", end="\n" if done == total else "", file=sys.stderr, flush=True)


def _add_app(subparsers):
    p = subparsers.add_parser(
        "app", help="start the web app on this machine",
        description="Start the web app: open, edit, check and run vehicles, compare runs and sweep "
                    "values in a browser. It prints the address to open, with a random access token; "
                    "it reads and writes files inside WORKSPACE only and answers on 127.0.0.1 unless "
                    "--host names another address.")
    p.add_argument("workspace", nargs="?", default=".", metavar="WORKSPACE",
                   help="the folder of the vehicles (default: the working directory)")
    p.add_argument("--port", type=int, default=0, help="the port (default: a free one)")
    p.add_argument("--host", default="127.0.0.1",
                   help="the address to answer on (default 127.0.0.1; another address lets other "
                        "machines reach the app, still only with the token)")
    p.add_argument("--examples", metavar="DIR", help="the folder of example vehicles to offer")


def _run_app(args, parser):
    if not 0 <= args.port <= 65535:
        parser.error("--port must be 0 to 65535")
    try:
        import flask  # noqa: F401
    except ImportError as error:
        raise ImportError(f"the app needs Flask ({error}): install Debian's python3-flask "
                          "(make python installs it)") from error
    app = importlib.import_module(".app", __package__ or "hdfe")
    return app.serve(args.workspace, host=args.host, port=args.port, examples=args.examples)


#: Subcommands by name: (add its parser to the subparsers, run it from parsed args).
#: A new subcommand adds its entry here; ``main`` needs no change.
SUBCOMMANDS = {
    "report": (_add_report, _run_report),
    "sweep": (_add_sweep, _run_sweep),
    "app": (_add_app, _run_app),
}


def _errors():
    """Exception types reported as input or run errors (exit status 1)."""
    kinds = [OSError, ValueError, ImportError]
    try:
        from . import Error
        kinds.append(Error)
    except ImportError:
        pass
    return tuple(kinds)


def main(argv=None):
    """Run the command line on ``argv`` (default: ``sys.argv[1:]``); return the exit status.

    Usage errors exit through argparse with status 2; input and run errors print
    ``hdfe: message`` on stderr and return 1.
    """
    parser = argparse.ArgumentParser(prog="python3 -m hdfe",
                                     description="hdfe: heavy-duty vehicle fuel economy.")
    subparsers = parser.add_subparsers(dest="command", metavar="COMMAND", required=True)
    for add, _ in SUBCOMMANDS.values():
        add(subparsers)
    args = parser.parse_args(argv)
    command = SUBCOMMANDS[args.command][1]
    try:
        return command(args, subparsers.choices[args.command])
    except _errors() as error:
        print(f"hdfe: {error}", file=sys.stderr)
        if isinstance(error, ImportError) and "/usr/bin/python3" not in str(error):
            print(f"hdfe: this is {sys.executable}; hdfe runs on Debian's /usr/bin/python3 with its "
                  "Debian packages (make python installs them): /usr/bin/python3 -m hdfe ...", file=sys.stderr)
        return EXIT_ERROR


if __name__ == "__main__":
    sys.exit(main())
