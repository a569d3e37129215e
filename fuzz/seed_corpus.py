#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/).

Seeds come from the bundled example inputs and from the JSON texts that the
tests hand to each input call (raw string literals passed to kavo_* calls).
Run it again after adding tests; libFuzzer merges what it finds on top.
"""
import hashlib
import json
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")

CALLS = {
    "kavo_add_items": "fuzz_add_items",
    "kavo_set_library": "fuzz_set_library",
    "kavo_set_watch": "fuzz_set_watch",
    "kavo_set_server_home": "fuzz_set_server_home",
    "kavo_set_store": "fuzz_set_store",
    "kavo_set_resume_settings": "fuzz_set_resume_settings",
    "kavo_set_autoplay_settings": "fuzz_set_autoplay_settings",
    "kavo_load_inputs": "fuzz_load_inputs",
}
MAX_SEED = 16384


def put(target, text):
    data = text.encode() if isinstance(text, str) else text
    if len(data) > MAX_SEED:
        return
    d = os.path.join(CORPUS, target)
    os.makedirs(d, exist_ok=True)
    name = hashlib.sha1(data).hexdigest()[:16]
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


def compact(value):
    return json.dumps(value, ensure_ascii=False, separators=(",", ":"))


WATCH_KEYS = {"position", "position_s", "fraction", "finished", "value", "Value", "item_id"}
HOME_KEYS = {"Basics", "Continues", "List", "ExtentList", "Spotlights", "CollectionPlaylists",
             "Level30s"}
INPUT_KEYS = {"server_home", "items", "watch", "library", "store"}
STORE_KEYS = {"favourites", "favorites", "playlists", "dismissed"}
RESUME_KEYS = {"remember_last_position", "remember_audio", "finished_fraction", "resume_min_s",
               "resume_min_fraction", "short_item_s", "finished_at_proposal",
               "keep_finished_on_replay", "continue_skip_finished", "continue_next_up",
               "next_episode_following", "title_sort", "title_articles", "catalogue_by_year",
               "recent_group_shows", "recent_skip_finished", "show_rows_max"}


def classify(text):
    try:
        value = json.loads(text)
    except ValueError:
        return
    if isinstance(value, list):
        keys = set()
        for element in value:
            if isinstance(element, dict):
                keys |= set(element)
        if keys & WATCH_KEYS:
            put("fuzz_set_watch", text)
        else:
            put("fuzz_add_items", text)
            put("fuzz_set_library", text)
    elif isinstance(value, dict):
        keys = set(value)
        if keys & INPUT_KEYS:
            put("fuzz_load_inputs", text)
        elif keys & STORE_KEYS:
            put("fuzz_set_store", text)
        elif keys & RESUME_KEYS:
            put("fuzz_set_resume_settings", text)
        elif any("present" in k.lower() or "count" in k.lower() or "enabled" in k.lower()
                 or "play" in k.lower() or "proposal" in k.lower() for k in keys):
            put("fuzz_set_autoplay_settings", text)
        else:
            put("fuzz_set_server_home", text)


def sequence_seed(steps):
    """An input of fuzz_sequence that makes the given calls: op 19 loads the
    example inputs, 17 and 20 check; the input calls take their text raw."""
    front, back = b"", b""
    for op, text in steps:
        back = bytes([op]) + back
        if text is not None:
            data = text.encode()
            assert len(data) <= 64 and b"\\" not in data, text
            front += data + b"\\x"
            back = bytes([2]) + back  # the raw-text way of writing an input
    return front + back


def main():
    with open(os.path.join(ROOT, "examples", "inputs.json")) as f:
        inputs = json.load(f)
    put("fuzz_load_inputs", compact(inputs))
    for part, target in (("items", "fuzz_add_items"), ("library", "fuzz_set_library"),
                         ("watch", "fuzz_set_watch"), ("server_home", "fuzz_set_server_home"),
                         ("store", "fuzz_set_store")):
        if part in inputs:
            put(target, compact(inputs[part]))
            put("fuzz_load_inputs", compact({part: inputs[part]}))
    for name, target in (("resume_settings.json", "fuzz_set_resume_settings"),
                         ("autoplay_settings.json", "fuzz_set_autoplay_settings")):
        with open(os.path.join(ROOT, "examples", name)) as f:
            put(target, compact(json.load(f)))

    # The optional behaviours: the settings file that switches them all on
    # (each call reads its own members), dismissals and credits offsets.
    with open(os.path.join(ROOT, "examples", "settings-peer.json")) as f:
        peer = json.load(f)
    put("fuzz_set_resume_settings", compact(peer))
    put("fuzz_set_autoplay_settings", compact(peer))
    put("fuzz_set_resume_settings", compact({
        "finished_fraction": "0.9", "resume_min_s": -1, "short_item_s": 0, "title_sort": 7,
        "title_articles": ["", 1, None, "la", "LE"] + ["x"] * 20, "show_rows_max": 3000000000}))
    put("fuzz_set_autoplay_settings", compact({
        "useFixedPresentBefore": True, "present_before_steps": [[0, 0], [600, "30"], [-1, 5], [1], "x",
                                                                  [1e300, 1e300, 7], {"a": 1}] + [[1, 2]] * 20,
        "present_at_credits": 1, "proposal_only_with_next": "yes"}))
    dismissed = {"dismissed": {"harbor-s01e02": 1714680000000, "movie-quiet-field": "-5",
                               "Movie-Night-Freight": 9e30, "carto-s01e02": True}}
    put("fuzz_set_store", compact(dismissed))
    put("fuzz_set_store", '{"dismissed":{"a":1,"a":"x","b":null},"favourites":[]}')
    credits = [{"id": "e1", "kind": "episode", "imdb_id": "tt1", "season": 1, "episode": 1,
                "duration_s": 3000, "credits_start_s": 2710, "sources": [{"url": "u"}]},
               {"id": "e2", "kind": "episode", "imdb_id": "tt1", "season": 2, "episode": 1,
                "duration_s": 3000, "creditsStartS": "3000", "outro_start_s": -1}]
    put("fuzz_add_items", compact(credits))
    put("fuzz_load_inputs", compact(dict(inputs, store=dict(inputs.get("store", {}), **dismissed))))
    # Calls in a row: each step is (op, raw JSON text or None); the sequence
    # target takes the ops from the end of its input and the texts from the
    # front, a text ended by a backslash and another byte.
    put("fuzz_sequence", sequence_seed([
        (19, None), (7, '{"continue_next_up":1,"next_episode_following":1}'),
        (8, '{"useFixedPresentBefore":1,"present_at_credits":1}'),
        (6, '{"dismissed":{"harbor-s01e02":1}}'), (17, None), (20, None)]))
    put("fuzz_sequence", sequence_seed([
        (7, '{"finished_at_proposal":1,"keep_finished_on_replay":1}'),
        (8, '{"useFixedPresentBefore":1,"present_before_steps":[[0,9]]}'),
        (19, None), (7, '{"title_sort":"natural","recent_group_shows":1}'),
        (6, '{"dismissed":{"movie-night-freight":"9"}}'), (20, None)]))

    # Any other raw string literal of the tests that is JSON goes to the
    # targets whose input it resembles.
    literal_re = re.compile(r'R"([A-Za-z]*)\((.*?)\)\1"', re.S)

    # Raw string literals passed straight to an input call in the tests.
    call_re = re.compile(r'(kavo_[a-z_]+)\(\s*R"([A-Za-z]*)\((.*?)\)\2"', re.S)
    for dirpath, _, files in os.walk(os.path.join(ROOT, "tests")):
        for fn in files:
            if not fn.endswith(".cpp"):
                continue
            with open(os.path.join(dirpath, fn), encoding="utf-8") as f:
                src = f.read()
            for call, _, text in call_re.findall(src):
                if call in CALLS:
                    put(CALLS[call], text)
            for _, text in literal_re.findall(src):
                classify(text)

    # The keys target reads its own byte layout; a few plain texts do.
    for text in ("", "abc", "ab\xe0\x80\x80cd", "\x80", "a\xc3", "\xf0\x9f\x98\x80", "YQFiAWM="):
        put("fuzz_keys", bytes([0, 11]) + text.encode("latin-1"))
        put("fuzz_keys", bytes([1, 9]) + text.encode("latin-1"))
    put("fuzz_sequence", os.urandom(0) + bytes(range(0, 256)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
