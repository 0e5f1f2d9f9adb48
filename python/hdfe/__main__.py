"""Command line of the hdfe Python package: ``python3 -m hdfe COMMAND ...``.

Commands:

* ``report SPEC -o report.html``: run the vehicle and write its HTML report;
* ``report --batch summary.csv -o fleet.html``: write the HTML report of a
  batch summary.

Exit statuses follow the ``hdfe`` program: 0 on success, 1 for input and run
errors, 2 for usage errors.
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
    p.add_argument("--title", help="the batch report's heading")


def _run_report(args, parser):
    if (args.spec is None) == (args.batch is None):
        parser.error("report: give either SPEC or --batch SUMMARY.csv")
    # The module, even when the package exports its report() function as hdfe.report.
    reports = importlib.import_module(".report", __package__ or "hdfe")
    if args.batch is not None:
        output = args.output or "fleet.html"
        reports.write_batch_report(args.batch, output, title=args.title)
    else:
        if args.title is not None:
            parser.error("report: --title applies to --batch only")
        output = args.output or "report.html"
        reports.report(args.spec, output)
    print(output)
    return EXIT_OK


#: Subcommands by name: (add its parser to the subparsers, run it from parsed args).
#: A new subcommand (e.g. ``sweep``) adds its entry here; ``main`` needs no change.
SUBCOMMANDS = {
    "report": (_add_report, _run_report),
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
        return EXIT_ERROR


if __name__ == "__main__":
    sys.exit(main())
