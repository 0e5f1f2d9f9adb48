"""Sweeps past one machine: a manifest split into chunks, each chunk one run_batch task on Dask.

::

    import distributed, hdfe.dask
    client = distributed.Client("tcp://scheduler:8786")   # or None: a LocalCluster
    summary = hdfe.dask.sweep(manifest, client=client)

Rows that name spec files are loaded on the workers, so the files must be readable there at
the same path (a shared file system). Rows that carry :class:`hdfe.Vehicle` objects in a
``vehicle`` column need no files on the workers: each distinct vehicle is sent once.
"""

import os

import pandas

import hdfe

__all__ = ["default_client", "local_cluster", "sweep"]


def local_cluster(**options):
    """A ``distributed.LocalCluster`` on loopback, with workers suited to hdfe tasks.

    Defaults: ``host="127.0.0.1"``, worker processes (``processes=True``) with one thread
    each (a task runs its chunk on one thread) and no dashboard; ``options`` override them
    (e.g. ``n_workers=2``).

    Dask starts its workers with ``MALLOC_TRIM_THRESHOLD_=65536``, which returns freed memory
    to the system at once: the simulation allocates and frees its per-second series on every
    run and is then about a quarter slower. The workers started here keep the C library's
    default. For a cluster of your own, set ``distributed.nanny.pre-spawn-environ`` likewise.
    """
    import dask
    import distributed

    environ = dict(dask.config.get("distributed.nanny.pre-spawn-environ", default={}) or {})
    environ.pop("MALLOC_TRIM_THRESHOLD_", None)
    settings = {"host": "127.0.0.1", "processes": True, "threads_per_worker": 1, "dashboard_address": None}
    settings.update(options)
    with dask.config.set({"distributed.nanny.pre-spawn-environ": environ}):
        return distributed.LocalCluster(**settings)


def default_client():
    """A client of a new :func:`local_cluster` on this machine, a worker per core."""
    import distributed

    return distributed.Client(local_cluster())


def _run_chunk(chunk, base, vehicles, cycles=None, route=None):
    """One task: run_batch on a chunk, on one worker thread (the workers' slots give the parallelism)."""
    if vehicles is not None:
        chunk = chunk.copy()
        chunk["vehicle"] = [vehicles[code] for code in chunk["vehicle"]]
    return hdfe.run_batch(chunk, jobs=1, base=base, typed=False, cycles=cycles, route=route)


def sweep(rows, client=None, chunk_rows=10_000, base=None, progress=None, cycles=None, route=None):
    """Run a manifest on a Dask cluster; return the summary DataFrame in manifest order.

    The rows are split into chunks of ``chunk_rows``; each chunk is one task that calls
    :func:`hdfe.run_batch` on a worker. Chunks should take 100 ms or more (Dask spends about
    1 ms on a task), which 10,000 rows do many times over. The result equals
    ``hdfe.run_batch(rows)``: the same columns, values and order, with ids numbered over the
    whole manifest when it has no ``id`` column.

    Args:
        rows: a manifest DataFrame as :func:`hdfe.run_batch` takes it: a ``spec`` column of
            spec files readable at the same path on every worker, or a ``vehicle`` column of
            :class:`hdfe.Vehicle` objects (sent to the workers, each distinct one once).
        client: a ``distributed.Client``; None: a LocalCluster on this machine, closed again
            at the end.
        chunk_rows: rows per task.
        base: the folder relative ``spec`` names are taken from, on the workers; None: this
            process's working directory (made absolute).
        progress: None, or a callable given ``(rows_done, rows_total)`` as each chunk finishes.
        cycles: cycles every row runs instead of the built-in ones, as :func:`hdfe.run_batch`
            takes them (cycle files readable at the same path on every worker); the summary
            then has a row per manifest row and cycle. A manifest's ``cycle`` column does the
            same row by row.
        route: a route file every row drives instead, as :func:`hdfe.run_batch` takes it
            (readable at the same path on every worker); a manifest's ``route`` column does
            the same row by row.

    Raises:
        ValueError: an unknown or repeated column, before anything is sent.
        TypeError: a cell that is neither text nor a number (or a ``vehicle`` cell that is no
            :class:`hdfe.Vehicle`), before anything is sent.
    """
    if chunk_rows < 1:
        raise ValueError("chunk_rows must be at least 1")
    frame = rows if isinstance(rows, pandas.DataFrame) else pandas.DataFrame(rows)
    hdfe._manifest_columns(frame.columns)
    if cycles is not None:
        if "cycle" in frame.columns:
            raise ValueError("sweep: the rows have a 'cycle' column and cycles are given: give them one way")
        cycles = hdfe._cycle_names(cycles)
    if route is not None:
        hdfe._batch_routes(frame, "", cycles, route)  # refuses a route given two ways, before anything is sent
        route = os.path.abspath(os.fsdecode(route))
    frame = frame.reset_index(drop=True)
    if "id" not in frame.columns:
        frame.insert(0, "id", [str(k + 1) for k in range(len(frame))])
    base = os.path.abspath(os.fspath(base) if base is not None else os.getcwd())
    # Every cell is checked here, so that a bad one stops the sweep before any chunk runs.
    for name in frame.columns:
        if name == "vehicle":
            for vehicle in frame["vehicle"]:
                if not isinstance(vehicle, hdfe.Vehicle):
                    raise TypeError(f"the 'vehicle' column holds a {type(vehicle).__name__}, not an hdfe.Vehicle")
        else:
            for cell in frame[name]:
                hdfe._cell_text(cell)
    if len(frame) == 0:
        return hdfe.run_batch(frame, base=base, cycles=cycles, route=route)

    own_client = client is None
    if own_client:
        client = default_client()
    try:
        vehicles = None
        if "vehicle" in frame.columns:
            # Each distinct vehicle travels once, to every worker; rows carry its number.
            distinct, codes = {}, []
            for vehicle in frame["vehicle"]:
                codes.append(distinct.setdefault(id(vehicle), (len(distinct), vehicle))[0])
            frame = frame.assign(vehicle=codes)
            [vehicles] = client.scatter([[vehicle for _, vehicle in distinct.values()]], broadcast=True)
        tasks = [
            client.submit(_run_chunk, frame.iloc[start : start + chunk_rows], base, vehicles, cycles, route,
                          pure=False)
            for start in range(0, len(frame), chunk_rows)
        ]
        if progress is not None:
            import distributed

            sizes = {task.key: min(chunk_rows, len(frame) - start)
                     for task, start in zip(tasks, range(0, len(frame), chunk_rows))}
            finished = 0
            for task in distributed.as_completed(tasks):
                finished += sizes[task.key]
                progress(finished, len(frame))
        parts = client.gather(tasks)
        # Override columns are typed over the whole manifest, as run_batch types them: a
        # chunk alone might read as numbers where another holds a text.
        return hdfe._type_overrides(pandas.concat(parts, ignore_index=True))
    finally:
        if own_client:
            cluster = client.cluster
            client.close()
            if cluster is not None:
                cluster.close()
