#!/usr/bin/env python3
"""Checks that docs/ describes the inputs and documents the library has.

Inputs: every key spelling the readers accept (the k_* key lists of
src/ingest/*.cpp and the member names the readers look up by name in
src/ingest and src/rows) must appear in a key table of docs/, each key list
in its lookup order as one table row; and every key a key table of docs/
lists must be one the readers accept. The words of the "kind" and "library"
members must appear in docs/ too. Every member of the inputs that the
readers, rows and documents look up by name must be in a key list of
src/ingest, which the inputs linter goes by.

Outputs (when the kavo tool is given): the members of each document as the
tool prints them (the lint document too) must be exactly those of the docs/
table marked <!-- members: NAME -->, in that order.

A key table is a markdown table with a column headed "keys, in lookup order";
its keys are the `backticked` words of that column, one list per row.

usage: check_docs.py SOURCE_DIR [KAVO_TOOL]
"""
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile

KEY_COLUMN = "keys, in lookup order"
MEMBER_COLUMN = "member"

KEY_LIST = re.compile(r"const\s+char\s*\*\s*const\s+(k_\w+)\s*\[\]\s*=\s*\{(.*?)\};", re.S)
WORD_LIST = re.compile(r"const\s+Word\s+(k_\w+)\s*\[\]\s*=\s*\{(.*?)\};", re.S)
STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')
# Member names looked up one by one rather than through a key list.
NAMED_LOOKUP = re.compile(
    r'\b(?:obj_get|js_bool|js_opt_str|js_str_array)\s*\((?:[^,()]|\([^()]*\))*,\s*"([^"]*)"'
    r'|\bget\(\s*"([^"]*)"\s*\)')
BACKTICKED = re.compile(r"`([^`]*)`")
# Members looked up by name that the inputs linter does not check: those of a
# basics record's "Ratings" object, which holds other sites' ratings too.
NOT_LINTED = {"Internet Movie Database", "InternetMovieDatabase"}
MARKER = re.compile(r"<!--\s*members:\s*([\w-]+)\s*-->")


def without_comments(code):
    code = re.sub(r"/\*.*?\*/", "", code, flags=re.S)
    return re.sub(r"//[^\n]*", "", code)


def source_keys(src):
    """(ordered key lists by name, keys looked up by name, words by list)."""
    lists, named, words = {}, {}, {}
    for path in sorted((src / "src" / "ingest").glob("*.cpp")):
        code = without_comments(path.read_text())
        for name, body in KEY_LIST.findall(code):
            lists[f"{name} ({path.relative_to(src)})"] = STRING.findall(body)
        for name, body in WORD_LIST.findall(code):
            words[name] = re.findall(r'\{\s*"([^"]*)"\s*,', body)
    for folder in ("ingest", "rows"):
        for path in sorted((src / "src" / folder).glob("*.cpp")):
            for a, b in NAMED_LOOKUP.findall(without_comments(path.read_text())):
                named.setdefault(a or b, str(path.relative_to(src)))
    return lists, named, words


def tables(text):
    """Every markdown table: (marker above it or None, header cells, rows of cells)."""
    lines = text.splitlines()
    i = 0
    while i < len(lines):
        if lines[i].startswith("|") and i + 1 < len(lines) and re.match(r"^\|[\s:|-]+\|$", lines[i + 1]):
            marker = None
            j = i - 1
            while j >= 0 and not lines[j].strip():
                j -= 1
            if j >= 0 and MARKER.search(lines[j]):
                marker = MARKER.search(lines[j]).group(1)
            header = cells(lines[i])
            rows = []
            i += 2
            while i < len(lines) and lines[i].startswith("|"):
                rows.append(cells(lines[i]))
                i += 1
            yield marker, header, rows
        else:
            i += 1


def cells(line):
    # A "|" inside backticks is part of the cell.
    parts, current, quoted = [], "", False
    for c in line.strip().strip("|"):
        if c == "`":
            quoted = not quoted
        if c == "|" and not quoted:
            parts.append(current.strip())
            current = ""
        else:
            current += c
    parts.append(current.strip())
    return parts


def docs_tables(docs):
    key_rows, member_tables, words = [], {}, set()
    for path in sorted(docs.glob("*.md")):
        text = path.read_text()
        words.update(BACKTICKED.findall(text))
        for marker, header, rows in tables(text):
            lowered = [h.lower() for h in header]
            if KEY_COLUMN in lowered:
                col = lowered.index(KEY_COLUMN)
                for row in rows:
                    keys = BACKTICKED.findall(row[col]) if col < len(row) else []
                    if keys:
                        key_rows.append((keys, f"{path.name}: {row[0]}"))
            if marker:
                if MEMBER_COLUMN not in lowered:
                    raise SystemExit(f"{path.name}: table {marker} has no '{MEMBER_COLUMN}' column")
                col = lowered.index(MEMBER_COLUMN)
                member_tables[marker] = [BACKTICKED.findall(r[col])[0] for r in rows
                                         if col < len(r) and BACKTICKED.findall(r[col])]
    return key_rows, member_tables, words


def check_keys(src, docs, errors):
    lists, named, words = source_keys(src)
    key_rows, _, doc_words = docs_tables(docs)
    if not lists or not key_rows:
        errors.append(f"found {len(lists)} key lists in the sources and {len(key_rows)} key rows in docs/")
        return
    accepted = {k for keys in lists.values() for k in keys} | set(named)
    documented = {k for keys, _ in key_rows for k in keys}
    sequences = {tuple(keys) for keys, _ in key_rows}
    for name, keys in lists.items():
        if name.startswith(("k_part_names", )) or "_members" in name:
            for k in keys:  # names looked up one by one: each must be there
                if k not in documented:
                    errors.append(f"{name}: key '{k}' is in no key table of docs/")
        elif tuple(keys) not in sequences:
            errors.append(f"{name}: no key table row of docs/ lists {', '.join(keys)} in this order")
    for k, where in sorted(named.items()):
        if k not in documented:
            errors.append(f"{where}: key '{k}' is in no key table of docs/")
    for keys, where in key_rows:
        for k in keys:
            if k not in accepted:
                errors.append(f"docs/{where}: the readers accept no key '{k}'")
    for name, ws in words.items():
        for w in ws:
            if w not in doc_words:
                errors.append(f"{name}: the word '{w}' is not in docs/")
    # The inputs linter knows the members the key lists of src/ingest hold:
    # a member of the inputs that a reader, a row or a document looks up by
    # name must be in one, or the linter calls it unknown. (The settings are
    # no part of the inputs object; the linter does not look into "Ratings".)
    listed = {k for keys in lists.values() for k in keys} | NOT_LINTED
    for folder in ("ingest", "rows", "documents"):
        for path in sorted((src / "src" / folder).glob("*.cpp")):
            if path.name == "settings.cpp":
                continue
            for a, b in NAMED_LOOKUP.findall(without_comments(path.read_text())):
                if (a or b) not in listed:
                    errors.append(f"{path.relative_to(src)}: reads '{a or b}', which no key list of "
                                  "src/ingest holds: the inputs linter would call it unknown")
    print(f"{len(lists)} key lists, {len(named)} keys read by name, {len(key_rows)} key rows in docs/")


def members(value):
    return list(value.keys()) if isinstance(value, dict) else None


def lint_documents(kavo):
    """The members of the lint document and its parts, as `kavo lint --json` prints them."""
    def lint(text):
        with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
            f.write(text)
        try:
            run = subprocess.run([kavo, "lint", f.name, "--json"], capture_output=True, text=True)
        finally:
            os.unlink(f.name)
        if run.returncode not in (0, 1):
            raise SystemExit(f"kavo lint failed: {run.stderr}")
        return json.loads(run.stdout)
    broken = lint('{"store": [], "items": [{"id": "a", "AddedMs": 1}, {"id": "a"}]}')
    not_json = lint('{"items": [}')
    return {
        "lint": members(broken),
        "lint-syntax-error": members(not_json["syntax_error"]),
        "lint-error": members(broken["errors"][0]),
        "lint-turned-away": members(broken["turned_away"][0]),
        "lint-unknown-member": members(broken["unknown_members"][0]),
    }


def check_documents(src, docs, kavo, errors):
    _, tables_by_name, _ = docs_tables(docs)
    ex = src / "examples"
    out = subprocess.run([kavo, "home", str(ex / "inputs.json"), "--json", "--select", "harbor-s01e02",
                          "--resume-settings", str(ex / "resume_settings.json"),
                          "--autoplay-settings", str(ex / "autoplay_settings.json")],
                         check=True, capture_output=True, text=True).stdout
    result = json.loads(out)
    rows = result["rows"]
    cells = [c for r in rows for c in r["cells"]]
    detail = result["item"]
    item_members = tables_by_name.get("item", [])
    seen = {
        "result": members(result),
        "row": members(rows[0]),
        "cell": members(next(c for c in cells if c["resolved"] == 1)),
        "raw-cell": members(next(c for c in cells if c["resolved"] == 0)),
        "result-stats": members(result["stats"]),
        "detail": members(detail)[len(item_members):],
        "item": members(detail)[:len(item_members)],
        "source": members(detail["sources"][0]),
        "resume": members(detail["resume"]),
        "watch": members(detail["resume"]["watch"]),
        "next": members(detail["next"]),
        "autoplay": members(detail["autoplay"]),
        "event": members(detail["autoplay"]["events"][0]),
        "server-flags": members(result["server_flags"]),
        "watchlist": members(result["watchlist"]),
        "browse-history": members(result["browse_history"]),
    }
    seen.update(lint_documents(kavo))
    for name, got in seen.items():
        want = tables_by_name.get(name)
        if want is None:
            errors.append(f"docs/ has no table marked <!-- members: {name} -->")
        elif got != want:
            errors.append(f"members of '{name}': the library writes {got}, docs/ lists {want}")
    print(f"{len(seen)} documents compared with docs/")


def main():
    src = pathlib.Path(sys.argv[1])
    errors = []
    check_keys(src, src / "docs", errors)
    if len(sys.argv) > 2:
        check_documents(src, src / "docs", sys.argv[2], errors)
    for e in errors:
        print("FAILED:", e)
    print(f"{0 if errors else 1} passed, {1 if errors else 0} failed")
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
