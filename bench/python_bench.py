"""Rows per second of hdfe.dask.sweep on a local cluster, next to hdfe.run_batch.

A FinalRatio sweep of the tractor example without traces, run by run_batch on every core
and by a sweep on a LocalCluster with a worker process per core (one thread each), in turn,
best of --repeat each (the machine may be shared). The cluster is started before the clock
starts: the figure is the sweep's own overhead (splitting, sending, gathering, the last
task's tail), which should stay within 15 % of run_batch.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py [--rows N] [--chunk-rows N]
"""

import argparse
import os
import pathlib
import time

import distributed
import pandas

import hdfe
import hdfe.dask

TRACTOR = pathlib.Path(__file__).resolve().parents[1] / "examples" / "tractor_TT1_325kW_AMT12" / "spec.txt"


def main():
    """Run both, print rows per second and the sweep's overhead."""
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", type=int, default=10_000, help="sweep rows (default 10000)")
    parser.add_argument("--chunk-rows", type=int, default=1_000, help="rows per Dask task (default 1000)")
    parser.add_argument("--repeat", type=int, default=2, help="runs of each, the best counted (default 2)")
    parser.add_argument("--workers", type=int, default=os.cpu_count(), help="worker processes (default: cores)")
    args = parser.parse_args()

    rows = pandas.DataFrame({"spec": str(TRACTOR),
                             "FinalRatio": [f"{2.2 + k * 1.2 / args.rows:.6f}" for k in range(args.rows)]})
    batch_seconds = sweep_seconds = float("inf")
    with hdfe.dask.local_cluster(n_workers=args.workers) as cluster, distributed.Client(cluster) as client:
        # Every worker up, with the package imported and the files read once.
        hdfe.dask.sweep(rows.head(4 * args.workers), client=client, chunk_rows=1)
        for _ in range(args.repeat):
            start = time.perf_counter()
            expected = hdfe.run_batch(rows, jobs=args.workers)
            batch_seconds = min(batch_seconds, time.perf_counter() - start)
            start = time.perf_counter()
            swept = hdfe.dask.sweep(rows, client=client, chunk_rows=args.chunk_rows)
            sweep_seconds = min(sweep_seconds, time.perf_counter() - start)

    pandas.testing.assert_frame_equal(swept, expected, check_exact=True)
    overhead = sweep_seconds / batch_seconds - 1
    print(f"tractor FinalRatio sweep, {args.rows} rows, no traces, {args.workers} cores")
    print(f"  hdfe.run_batch (jobs={args.workers}):          {args.rows / batch_seconds:8.1f} rows/s")
    print(f"  hdfe.dask.sweep ({args.workers} workers x 1 thread, "
          f"{args.chunk_rows} rows a task): {args.rows / sweep_seconds:8.1f} rows/s")
    print(f"  sweep overhead: {overhead * 100:+.1f} % (target at most +15 %)")


if __name__ == "__main__":
    main()
