"""Restoring pickled hdfe objects: pickle finds this function by name at every protocol."""

from hdfe import _core


def restore(type_name, state):
    """The object of that type from its pickled state (validated: ValueError if it is not one)."""
    restorer = getattr(_core, f"_restore_{type_name}", None) if isinstance(type_name, str) else None
    if restorer is None:
        raise ValueError(f"not a pickled hdfe type: {type_name!r}")
    return restorer(state)
