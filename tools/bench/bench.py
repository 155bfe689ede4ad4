#!/usr/bin/env python3
# Benchmark runs and report: our installer against the peer under Wine, several times, then median and spread.
# Contract: called by tools/bench/run with Wine's environment set (own prefix, display); writes results.json, results.csv, results.md.
import argparse
import filecmp
import glob
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PAYLOAD_BYTES = 2088345
WORKSHEETS = ["Temperatur-%d%s.dsb" % (n, mark) for n in range(1, 7) for mark in ("", "'")]
LAYOUT = {"Brindavel.exe": "Brindavel.exe", "Text/Notiz.txt": "Notiz.txt"}
LAYOUT.update({"DasyLab/" + name: name for name in WORKSHEETS})
LINK_NAME = "BrindaVel.lnk"
MSI_PRODUCT = "{2547E980-5BD2-4A49-8124-551FB39489A1}"  # the product code in peer.wxs

# Pauses our installation sequence mandates on a fresh install with the shortcut box ticked: the 200 ms after
# the drain, 20 ms after each of its 30 successful folder and copy steps, the 200 ms of the clean-up; plus the
# waits of the steps that always fail (measured per run below).
DRAIN_PAUSE_MS = 200
SETTLE_STEP_MS = 20
SUCCESSFUL_STEPS = 30
CLEANUP_PAUSE_MS = 200


def dos(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine(args, timeout=900):
    # Output through files, not pipes: Wine's service processes inherit the handles and outlive the program.
    started = time.time()
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        done = subprocess.run(["wine"] + args, stdout=out, stderr=err, stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        stdout, stderr = out.read(), err.read()
    lines = [line for line in stdout.splitlines() if line.startswith("{")]
    if not lines:
        raise RuntimeError("no result from %s (exit %d): %s" % (args[0], done.returncode, stderr[-500:]))
    record = json.loads(lines[-1])
    record["host_seconds"] = round(time.time() - started, 3)
    return record


def desktop_folder():
    found = [p for p in glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c/users/*/Desktop"))
             if "/Public/" not in p]
    return os.path.realpath(found[0])


def remove_link():
    link = os.path.join(desktop_folder(), LINK_NAME)
    if os.path.lexists(link):
        os.remove(link)


def check_layout(target, payload):
    """The installed tree holds exactly the fourteen files, byte for byte; returns a list of faults."""
    faults = []
    present = set()
    for folder, _, files in os.walk(target):
        for name in files:
            present.add(os.path.relpath(os.path.join(folder, name), target))
    for relative, source in LAYOUT.items():
        path = os.path.join(target, relative)
        if relative not in present:
            faults.append("missing " + relative)
        elif not filecmp.cmp(path, os.path.join(payload, source), shallow=False):
            faults.append("differs " + relative)
    faults += ["extra " + name for name in sorted(present - set(LAYOUT))]
    if not os.path.exists(os.path.join(desktop_folder(), LINK_NAME)):
        faults.append("no desktop shortcut")
    return faults


def ns_ms(value):
    return value / 1e6


# A failing step waits until the seconds clock has passed its start + 2, at most 3000 ms: between 2 and 3 s,
# plus the short copy that ends it. A wait outside these bounds means the times below were misread.
WAIT_BOUNDS_MS = (1950, 3100)


def failing_waits(target):
    """The waits of our three always-failing steps of a fresh install, from the times the run left on disk.

    Starts: the repeated creation of the target folder follows the desktop shortcut's save (the link's mtime);
    the worksheet folder's creation in the second pass follows the executable copy (its inode change time, at
    the copy's end) and that copy's one 20 ms settle step; the notes folder's follows the last worksheet copy of
    the second pass and its settle step. Ends: the target folder's entry list changes when the executable copy
    begins (its mtime); the first worksheet copy and the notes copy of the second pass end the other two (their
    inode change times), those two short copies counting with the waits. The little work between a step's end
    and the next wait's start (the progress bar's update) counts with the wait; the file system's clock steps
    a few ms.
    """
    def ctime(*parts):
        return os.stat(os.path.join(target, *parts)).st_ctime_ns

    worksheets = sorted(ctime("DasyLab", name) for name in WORKSHEETS)
    settle = SETTLE_STEP_MS * 1_000_000
    starts = [os.stat(os.path.join(desktop_folder(), LINK_NAME)).st_mtime_ns,
              ctime("Brindavel.exe") + settle, worksheets[-1] + settle]
    ends = [os.stat(target).st_mtime_ns, worksheets[0], ctime("Text", "Notiz.txt")]
    waits = [ns_ms(end - start) for start, end in zip(starts, ends)]
    # Each wait ends on the first 20 ms step after the seconds clock passed its start + 2: just after a full second.
    return waits, [round((end % 1_000_000_000) / 1e6, 1) for end in ends]


def sequence_parts(record, target):
    """Where our GUI install work goes, pauses out, from the file times the run leaves, placed on the run's clock.

    A folder's mtime is its last new entry: for the worksheet folder the first pass's last worksheet, for the
    target folder the executable copy's begin (the second pass overwrites files in place). The parts add up to
    the GUI install work.
    """
    def at(name):
        return record["launched_unix_ms"] + record[name]

    def time_of(*parts, change=False):
        info = os.stat(os.path.join(target, *parts))
        return ns_ms(info.st_ctime_ns if change else info.st_mtime_ns)

    worksheets = sorted(time_of("DasyLab", name, change=True) for name in WORKSHEETS)
    link = ns_ms(os.stat(os.path.join(desktop_folder(), LINK_NAME)).st_mtime_ns)
    settle = SETTLE_STEP_MS
    question = record["question_answered_ms"] - record["question_seen_ms"]
    return [
        # "Ja", the question, the target folder, the drain's pause, staging, the worksheet folder, 11 copies
        time_of("DasyLab") - at("clicked_ms") - question - DRAIN_PAUSE_MS - 13 * settle,
        # the last worksheet copy, the notes folder and copy, the desktop shortcut
        link - time_of("DasyLab") - 3 * settle,
        # the executable copy
        time_of("Brindavel.exe", change=True) - time_of(),
        # the second pass's worksheet copies after its first
        worksheets[-1] - worksheets[0] - 11 * settle,
        # after the notes copy: its settle step, the progress bar, the result box
        at("result_seen_ms") - time_of("Text", "Notiz.txt", change=True) - settle,
    ]


def run_ours(paths, scratch, payload):
    work = os.path.join(scratch, "ours-cwd")
    target = os.path.join(scratch, "ours-target")
    os.makedirs(work)
    remove_link()
    record = wine([paths.measure, "ours", dos(paths.ours), dos(work), dos(target)])
    if "error" in record:
        return record
    record["faults"] = check_layout(target, payload)
    if os.listdir(work):
        record["faults"].append("staged files left: %s" % sorted(os.listdir(work)))
    if record.get("exit_code") != 0:
        record["faults"].append("exit code %s" % record.get("exit_code"))
    if "war erfolgreich" not in record.get("result_text", ""):
        record["faults"].append("no success message")
    waits, ends = failing_waits(target) if not record["faults"] else (None, None)
    if waits and not all(WAIT_BOUNDS_MS[0] <= w <= WAIT_BOUNDS_MS[1] for w in waits):
        record["faults"].append("failing waits out of bounds: %s ms" % "/".join("%.0f" % w for w in waits))
    if not record["faults"]:
        driver = ((record["clicked_ms"] - record["startup_ms"]) + (record["question_answered_ms"] - record["question_seen_ms"])
                  + (record["result_answered_ms"] - record["result_seen_ms"]))
        pauses = DRAIN_PAUSE_MS + SUCCESSFUL_STEPS * SETTLE_STEP_MS + CLEANUP_PAUSE_MS + sum(waits)
        # "Ja" through to the result box, without the answer to the question and the pauses inside the sequence.
        gui_work = (record["result_seen_ms"] - record["clicked_ms"]
                    - (record["question_answered_ms"] - record["question_seen_ms"])
                    - DRAIN_PAUSE_MS - SUCCESSFUL_STEPS * SETTLE_STEP_MS - sum(waits))
        record.update(failing_waits_ms=[round(w, 3) for w in waits], wait_end_fractions_ms=ends,
                      driver_ms=round(driver, 3), pauses_ms=round(pauses, 3),
                      install_wall_ms=round(record["ended_ms"] - driver, 3),
                      install_work_ms=round(record["ended_ms"] - driver - pauses, 3),
                      gui_work_ms=round(gui_work, 3),
                      sequence_parts_ms=[round(x, 1) for x in sequence_parts(record, target)],
                      end_ms=round(record["ended_ms"] - record["result_answered_ms"], 3))
    remove_link()
    return record


def checked(record, target, payload):
    """The run's faults: the installed tree, the shortcut, the exit code."""
    if "error" not in record:
        record["faults"] = check_layout(target, payload)
        if record.get("exit_code") != 0:
            record["faults"].append("exit code %s" % record.get("exit_code"))
    remove_link()
    return record


def run_peer_gui(paths, scratch, payload):
    work = os.path.join(scratch, "peer-gui-cwd")
    target = os.path.join(scratch, "peer-gui-target")
    os.makedirs(work)
    remove_link()
    record = wine([paths.measure, "peer-gui", dos(paths.peer), dos(work), dos(target)])
    if "error" not in record:
        # Its install button through to its finished page; from its close button to its end.
        record["gui_work_ms"] = round(record["finished_ms"] - record["clicked_ms"], 3)
        record["end_ms"] = round(record["ended_ms"] - record["closed_ms"], 3)
    return checked(record, target, payload)


def run_peer_silent(paths, scratch, payload):
    work = os.path.join(scratch, "peer-cwd")
    target = os.path.join(scratch, "peer-target")
    os.makedirs(work)
    remove_link()
    record = wine([paths.measure, "peer-silent", dos(paths.peer), dos(work), dos(target)])
    if "error" not in record:
        record["install_work_ms"] = record["ended_ms"]
    return checked(record, target, payload)


def msi_remove():
    """Removes the second peer's product, so that the next run installs it anew (not timed)."""
    with tempfile.TemporaryFile() as sink:
        return subprocess.run(["wine", "msiexec", "/x", MSI_PRODUCT, "/qn"], stdout=sink, stderr=sink,
                              stdin=subprocess.DEVNULL, timeout=900).returncode


def run_msi(paths, scratch, payload):
    work = os.path.join(scratch, "msi-cwd")
    target = os.path.join(scratch, "msi-target")
    os.makedirs(work)
    remove_link()
    record = wine([paths.measure, "msi", dos(paths.msi), dos(work), dos(target)])
    if "error" not in record:
        record["install_work_ms"] = record["ended_ms"]
    record = checked(record, target, payload)
    record["removed_exit_code"] = msi_remove()
    return record


def spread(values):
    values = [v for v in values if v is not None]
    if not values:
        return None
    return {"median": statistics.median(values), "min": min(values), "max": max(values), "n": len(values),
            "values": values}


def good(records, key):
    return [r[key] for r in records if "error" not in r and not r.get("faults") and key in r]


def number(value, digits=0):
    return "{:,.{}f}".format(value, digits)


def cell(stat, unit, scale=1.0, digits=0):
    """Median with the spread (min–max over the counted runs) when the runs differ."""
    if not stat:
        return "n/a"
    text = number(stat["median"] / scale, digits) + unit
    if stat["min"] != stat["max"]:
        text += " (%s–%s)" % (number(stat["min"] / scale, digits), number(stat["max"] / scale, digits))
    return text


def ratio(a, b):
    return "%.2f" % (a["median"] / b["median"]) if a and b and b["median"] else "n/a"


def against(a, b, unit, scale=1.0, strict=False):
    """A goal of ours against a peer's figure (at most, or with strict below): met or missed, and by how much."""
    if not (a and b):
        return "n/a"
    x, y = a["median"], b["median"]
    ok = x < y if strict else x <= y
    by = number(abs(x - y) / scale) + unit
    times = "%.2f×" % (x / y) if y else "n/a"
    return ("met, %s under the peer (%s)" % (by, times)) if ok else ("missed by %s (%s the peer's)" % (by, times))


def overhead_verdict(a, b):
    """Under 32 KiB and about a third of the peer's (a KiB of slack on the third)."""
    if not (a and b):
        return "n/a"
    x, third = a["median"], b["median"] / 3
    over = []
    if x >= 32768:
        over.append("%s B over 32 KiB" % number(x - 32768))
    if x > third + 1024:
        over.append("%s B over a third of the peer's (%s B)" % (number(x - third), number(third)))
    if over:
        return "missed: " + "; ".join(over)
    return "met, %s B under 32 KiB, %.2f of the peer's" % (number(32768 - x), x / b["median"])


def platform():
    """Wine's version and whether its i386 programs run natively or under the user-mode emulator."""
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as f:
            emulated = f.readline().strip() == "enabled"
    except OSError:
        emulated = False
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, i386 %s" % (version, "under user-mode emulation" if emulated else "run natively")


def load_text(value):
    return "n/a" if value is None else "%.2f" % float(value)


def summary(results):
    """Median, min and max of every figure; ours, the NSIS peer's (_peer) and the Windows Installer peer's (msi_)."""
    ours, gui, silent, msi = (results.get(k, []) for k in ("ours", "peer_gui", "peer_silent", "msi"))
    sizes = results["sizes"]
    return {
        "overhead_ours": spread([sizes["ours"] - PAYLOAD_BYTES]),
        "overhead_peer": spread([sizes["peer"] - PAYLOAD_BYTES]),
        "msi_overhead": spread([sizes["msi"] - PAYLOAD_BYTES] if sizes.get("msi") else []),
        "startup_ours": spread(good(ours, "startup_ms")),
        "startup_peer": spread(good(gui, "startup_ms")),
        "end_ours": spread(good(ours, "end_ms")),
        "end_peer": spread(good(gui, "end_ms")),
        "end_work_ours": spread([x - CLEANUP_PAUSE_MS for x in good(ours, "end_ms")]),
        "gui_work_ours": spread(good(ours, "gui_work_ms")),
        "gui_work_peer": spread(good(gui, "gui_work_ms")),
        "work_ours": spread(good(ours, "install_work_ms")),
        "work_peer": spread(good(silent, "install_work_ms")),
        "msi_work": spread(good(msi, "install_work_ms")),
        "wall_ours": spread(good(ours, "install_wall_ms")),
        "pauses_ours": spread(good(ours, "pauses_ms")),
        "peak_ours": spread(good(ours, "peak_working_set")),
        "peak_peer_gui": spread(good(gui, "peak_working_set")),
        "peak_peer": spread(good(silent, "peak_working_set")),
        "peak_peer_first_page": spread(good(gui, "peak_first_page")),
        "msi_peak": spread(good(msi, "peak_working_set")),
    }


def report(results, out):
    ours, gui, silent, msi = (results.get(k, []) for k in ("ours", "peer_gui", "peer_silent", "msi"))
    m = summary(results)
    results["summary"] = m
    s = results.get("strings") or {}
    ms, kib = (" ms", 1.0), (" KiB", 1024.0)
    rows = [
        ("Overhead (file size − 2,088,345)", m["overhead_ours"], m["overhead_peer"], m["msi_overhead"], (" B", 1.0),
         "< 32 KiB, ≈ 1/3 of peer", overhead_verdict(m["overhead_ours"], m["overhead_peer"])),
        ("Start-up (launch → window usable / first page)", m["startup_ours"], m["startup_peer"], None, ms,
         "≤ peer", against(m["startup_ours"], m["startup_peer"], " ms")),
        ("End (result's OK / close button → process end)", m["end_ours"], m["end_peer"], None, ms,
         "≤ peer", against(m["end_ours"], m["end_peer"], " ms") + "; without the clean-up's mandated 200 ms: "
         + cell(m["end_work_ours"], " ms") + ", " + against(m["end_work_ours"], m["end_peer"], " ms")),
        ("Install work, GUI (\"Ja\" → result box, pauses out / install button → finished page)",
         m["gui_work_ours"], m["gui_work_peer"], None, ms,
         "≤ peer", against(m["gui_work_ours"], m["gui_work_peer"], " ms")),
        ("Peak working set (GUI install)", m["peak_ours"], m["peak_peer_gui"], None, kib,
         "< peer", against(m["peak_ours"], m["peak_peer_gui"], " KiB", 1024, strict=True)),
        ("Install, whole run (ours launch → end, pauses out / peers silent)", m["work_ours"], m["work_peer"],
         m["msi_work"], ms, "(context)", ""),
        ("Peak working set, silent install of the peers", None, m["peak_peer"], m["msi_peak"], kib, "(context)", ""),
    ]
    head = ("Metric", "Ours", "NSIS peer", "MSI peer", "Ours/NSIS", "Ours/MSI", "Goal", "Result")
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    for name, a, b, c, (unit, scale), goal, verdict in rows:
        lines.append("| " + " | ".join((name, cell(a, unit, scale), cell(b, unit, scale), cell(c, unit, scale),
                                         ratio(a, b), ratio(a, c), goal, verdict)) + " |")
    if s:
        def by(r):
            return ("met, %.2f×" % r) if r <= 1.0 else ("missed by %.0f %%" % ((r - 1) * 100))
        lines += ["", "| String builder (%s × 10 texts) | Builder | std::string, one expression | std::string, appending"
                  " | Ratios | Goal | Result |" % number(s["iterations"]), "|---|---|---|---|---|---|---|",
                  "| time | %.2f s | %.2f s | %.2f s | %.2f / %.2f | ≤ 1.00 | %s / %s |"
                  % (s["builder_s"], s["std_expression_s"], s["std_append_s"], s["ratio_vs_expression"],
                     s["ratio_vs_append"], by(s["ratio_vs_expression"]), by(s["ratio_vs_append"]))]
    w = m["pauses_ours"]
    waits = [r["failing_waits_ms"] for r in ours if "failing_waits_ms" in r]
    notes = [
        "",
        "Runs: %d counted (after one warm-up of each); valid: ours %d, NSIS peer GUI %d, NSIS peer silent %d, MSI peer"
        " %d. %s, %s; load average %s at the start, %s at the end (%d cores)."
        % (results["runs"], len(good(ours, "install_work_ms")), len(good(gui, "gui_work_ms")),
           len(good(silent, "install_work_ms")), len(good(msi, "install_work_ms")), results["when"],
           results.get("platform", "Wine"), load_text(results.get("load_average_start")),
           load_text(results.get("load_average_end")), results.get("cores", 2)),
        "Pauses taken out of our install (median): %.0f ms = 200 + 30 × 20 + 200 fixed + failing waits %s ms; the GUI"
        " install work takes out those of the sequence (all but the clean-up's 200 ms)."
        % (w["median"] if w else 0, "/".join("%.0f" % statistics.median(x) for x in zip(*waits)) if waits else "n/a"),
        "Sleep on this platform: Sleep(20) lasts %.2f ms, Sleep(200) %.2f ms (the fixed pauses are charged at nominal length)."
        % (results["calibration"]["sleep20_ms"], results["calibration"]["sleep200_ms"]),
    ]
    valid = [r for r in ours if "install_work_ms" in r]
    if valid:
        notes.append("Our window shows (visible and enabled, no gadgets yet) at %.0f ms (median); usable at the start-up"
                     " figure. Our end includes the clean-up's mandated 200 ms."
                     % statistics.median(r["visible_ms"] for r in valid))
    parts = [r["sequence_parts_ms"] for r in valid if "sequence_parts_ms" in r]
    if parts:
        notes.append("Our GUI install work by part (median, pauses out, from the run's file times): \"Ja\" to the"
                     " first pass's last worksheet (question, target folder, staging, worksheet folder, 11 copies)"
                     " %.0f ms; the last worksheet, the notes and the shortcut %.0f ms; the executable copy %.0f ms;"
                     " the second pass's copies %.0f ms; after the last copy to the result box %.0f ms."
                     % tuple(statistics.median(x) for x in zip(*parts)))
    ready = good(gui, "ready_ms")
    if ready:
        notes.append("The NSIS peer's first page is ready for input (process input-idle, the page answers) at %.0f ms"
                     " (median); its start-up figure is when the page shows." % statistics.median(ready))
    if m["peak_peer_first_page"]:
        notes.append("The NSIS peer's peak working set at its first page: %s."
                     % cell(m["peak_peer_first_page"], " KiB", 1024))
    faulty = [(name, r) for name, records in (("ours", ours), ("NSIS GUI", gui), ("NSIS silent", silent), ("MSI", msi))
              for r in records if "error" in r or r.get("faults")]
    if faulty:
        notes.append("Runs left out: " + "; ".join(
            "%s run %s: %s" % (name, r.get("run"), r.get("error") or ", ".join(r["faults"])) for name, r in faulty))
    table = "\n".join(lines + notes) + "\n"
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(table)
    with open(os.path.join(out, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    with open(os.path.join(out, "results.csv"), "w") as f:
        f.write("figure,median,min,max,n\n")
        for key, stat in m.items():
            if stat:
                f.write("%s,%g,%g,%g,%d\n" % (key, stat["median"], stat["min"], stat["max"], stat["n"]))
        if s:
            f.write("strings_ratio_vs_expression,%g,%g,%g,1\n" % ((s["ratio_vs_expression"],) * 3))
            f.write("strings_ratio_vs_append,%g,%g,%g,1\n" % ((s["ratio_vs_append"],) * 3))
    return table


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--ours")
    parser.add_argument("--peer")
    parser.add_argument("--msi", help="the second peer's package (left out when not given)")
    parser.add_argument("--measure")
    parser.add_argument("--strings")
    parser.add_argument("--payload")
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--iterations", type=int, default=1000000)
    parser.add_argument("--skip-ours", action="store_true", help="peers and micro-benchmark only")
    parser.add_argument("--report-only", action="store_true", help="table again from the last results.json")
    paths = parser.parse_args()
    out = paths.out
    if paths.report_only:
        with open(os.path.join(out, "results.json")) as f:
            print(report(json.load(f), out))
        return
    results = {"runs": paths.runs, "when": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
               "platform": platform(), "cores": os.cpu_count(),
               "load_average_start": os.getloadavg()[0],
               "sizes": {"ours": os.path.getsize(paths.ours), "peer": os.path.getsize(paths.peer),
                         "msi": os.path.getsize(paths.msi) if paths.msi else None, "payload": PAYLOAD_BYTES},
               "ours": [], "peer_gui": [], "peer_silent": [], "msi": []}
    results["calibration"] = wine([paths.measure, "calibrate"])
    if paths.msi:
        msi_remove()  # left installed by an interrupted benchmark
    scratch_root = os.path.join(out, "scratch")
    for index in range(paths.runs + 1):  # run 0 warms the prefix and the page cache; it is not counted
        scratch = os.path.join(scratch_root, "run-%d" % index)
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(scratch)
        steps = [("peer_gui", lambda: run_peer_gui(paths, scratch, paths.payload)),
                 ("peer_silent", lambda: run_peer_silent(paths, scratch, paths.payload))]
        if paths.msi:
            steps.append(("msi", lambda: run_msi(paths, scratch, paths.payload)))
        if not paths.skip_ours:
            steps.insert(0, ("ours", lambda: run_ours(paths, scratch, paths.payload)))
        if index % 2:
            steps.reverse()  # alternate the order, so a drift in machine load does not favour one side
        for name, step in steps:
            try:
                record = step()
            except (RuntimeError, subprocess.TimeoutExpired, OSError) as fault:
                record = {"error": str(fault)[:300]}
            record["run"] = index
            print("run %d %s: %s" % (index, name, json.dumps(record)[:400]), file=sys.stderr, flush=True)
            if index:
                results[name].append(record)
    results["strings"] = wine([paths.strings, str(paths.iterations)], timeout=3600)
    results["load_average_end"] = os.getloadavg()[0]
    print(report(results, out))


if __name__ == "__main__":
    main()
