// Shared by every page: the token on each request, elements built without HTML parsing, and
// number formatting. Text from the server is always set as text, never as markup.
"use strict";

const hdfe = (() => {
  const token = document.querySelector('meta[name="hdfe-token"]').content;

  // A request to the app; the token rides in a header. Resolves to the parsed JSON body,
  // rejects with an Error carrying the body (error, errors) and the status.
  async function api(method, url, body) {
    const options = {method, headers: {"X-HDFE-Token": token}, credentials: "same-origin"};
    if (body !== undefined) {
      options.headers["Content-Type"] = "application/json";
      options.body = JSON.stringify(body);
    }
    const response = await fetch(url, options);
    let data = null;
    try { data = await response.json(); } catch (e) { data = {error: response.statusText}; }
    if (!response.ok) {
      const error = new Error((data && data.error) || `request failed (${response.status})`);
      error.status = response.status;
      error.body = data || {};
      throw error;
    }
    return data;
  }

  // An element with attributes (properties for on* handlers and a few others) and children
  // (strings become text nodes).
  function el(tag, attrs, ...children) {
    const node = document.createElement(tag);
    for (const [key, value] of Object.entries(attrs || {})) {
      if (value === undefined || value === null || value === false) continue;
      if (key.startsWith("on")) node.addEventListener(key.slice(2), value);
      else if (key === "text") node.textContent = value;
      else if (key === "dataset") Object.assign(node.dataset, value);
      else node.setAttribute(key, value === true ? "" : String(value));
    }
    for (const child of children.flat()) {
      if (child === null || child === undefined || child === false) continue;
      node.append(child instanceof Node ? child : document.createTextNode(String(child)));
    }
    return node;
  }

  function fmt(value, decimals) {
    if (value === null || value === undefined || !Number.isFinite(value)) return "–";
    return value.toFixed(decimals === undefined ? 4 : decimals);
  }

  function pageData() {
    const node = document.getElementById("page-data");
    return node ? JSON.parse(node.textContent) : {};
  }

  function setPinned(count) {
    const node = document.getElementById("pinned-count");
    if (node) node.textContent = String(count);
  }

  // The address of a page of the app with query parameters (a list of [name, value]).
  function link(path, params) {
    const query = new URLSearchParams();
    for (const [name, value] of params) query.append(name, value);
    const text = query.toString();
    return text ? `${path}?${text}` : path;
  }

  return {api, el, fmt, pageData, setPinned, link, token};
})();
