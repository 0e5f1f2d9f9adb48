"""hdfe: heavy-duty vehicle fuel economy (placeholder; the package replaces it)."""
