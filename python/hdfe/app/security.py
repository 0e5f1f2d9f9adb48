"""The app's guard: an access token on every request, checks against cross-site requests.

The URL the app prints carries a random token; the first request with it gets the token back
as an HttpOnly, SameSite=Strict cookie and is sent on to the same address without it. Every
request must then carry the token (cookie, ``X-HDFE-Token`` header or ``token`` query); a
request that changes anything (any method but GET and HEAD) must also carry it in the header
or a ``token`` form field, and is refused when its Origin is another site.
"""

import hmac
import secrets
import urllib.parse

from flask import abort, redirect, request

HEADER = "X-HDFE-Token"
#: Methods that change nothing.
SAFE_METHODS = ("GET", "HEAD")
#: Host names the app answers to on loopback (a page of another site reached through a
#: DNS name pointing here is refused).
LOOPBACK_NAMES = ("127.0.0.1", "localhost", "::1")


def new_token():
    return secrets.token_urlsafe(24)


def cookie_name():
    """One cookie per port: apps on two ports of the same host keep their own tokens."""
    port = request.host.rsplit(":", 1)[1] if request.host.count(":") == 1 else ""
    return f"hdfe_token_{port}" if port.isdigit() else "hdfe_token"


def _matches(given, token):
    return bool(given) and hmac.compare_digest(given.encode("utf-8", "replace"), token.encode("utf-8"))


def _host_name(host):
    if host.startswith("["):
        return host[1:].split("]", 1)[0]
    return host.rsplit(":", 1)[0] if host.count(":") == 1 else host


#: Addresses that serve every address of the machine: any host name is answered.
WILDCARD_ADDRESSES = ("0.0.0.0", "::", "")


def install(app, token, hosts=LOOPBACK_NAMES):
    """Guards every request of ``app`` with ``token``; ``hosts``: the host names answered (one
    of WILDCARD_ADDRESSES among them: any)."""
    allowed = {name.lower() for name in hosts}
    any_host = bool(allowed & set(WILDCARD_ADDRESSES))

    @app.before_request
    def guard():
        if not any_host and _host_name(request.host).lower() not in allowed:
            abort(403, description="this host name is not served")
        query = request.args.get("token")
        cookie = request.cookies.get(cookie_name())
        header = request.headers.get(HEADER)
        if request.method in SAFE_METHODS:
            if not any(_matches(given, token) for given in (query, cookie, header)):
                abort(403, description="open the address the app printed, with its token")
            if _matches(query, token) and not _matches(cookie, token):
                # The token leaves the address bar (and the history) for the cookie.
                rest = [(k, v) for k, v in request.args.items(multi=True) if k != "token"]
                target = request.path + ("?" + urllib.parse.urlencode(rest) if rest else "")
                response = redirect(target, code=303)
                set_cookie(response, token)
                return response
            return None
        site = request.headers.get("Sec-Fetch-Site")
        if site is not None and site not in ("same-origin", "none"):
            abort(403, description="a request from another site is refused")
        origin = request.headers.get("Origin")
        if origin is not None and origin != request.host_url.rstrip("/"):
            abort(403, description="a request from another origin is refused")
        given = header if header is not None else request.form.get("token")
        if not _matches(given, token):
            abort(403, description="the request lacks the app's token")
        return None

    @app.after_request
    def headers(response):
        response.headers.setdefault(
            "Content-Security-Policy",
            "default-src 'self'; script-src 'self'; style-src 'self' 'unsafe-inline'; img-src 'self' data: blob:; "
            "connect-src 'self'; object-src 'none'; frame-ancestors 'none'; base-uri 'none'; form-action 'self'")
        response.headers["X-Content-Type-Options"] = "nosniff"
        # Same-origin requests keep their Origin (a form's POST would otherwise say "null").
        response.headers["Referrer-Policy"] = "same-origin"
        response.headers["X-Frame-Options"] = "DENY"
        response.headers["Cache-Control"] = response.headers.get("Cache-Control", "no-store")
        return response


def set_cookie(response, token):
    response.set_cookie(cookie_name(), token, httponly=True, samesite="Strict", path="/")
