#!/usr/bin/env python3
# Benchmark runs and report: our installer against the peers under Wine, paired runs in a balanced order, verdicts
# from the per-run ratios.
# Contract: called by tools/bench/run with Wine's environment set (own prefix, display); writes results.json,
# results.csv and results.md (the table tools/bench/README.md carries; --readme puts it there).
import argparse
import csv
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
OVERHEAD_AIM = 32768  # the overhead goal: under 32 KiB
OVERHEAD_LIMIT = 43000  # and this round's limit: it must not grow past it
MEMORY_NOISE = 0.02  # peak working sets closer than 2 % are the same
WORKSHEETS = ["Temperatur-%d%s.dsb" % (n, mark) for n in range(1, 7) for mark in ("", "'")]
LAYOUT = {"Brindavel.exe": "Brindavel.exe", "Text/Notiz.txt": "Notiz.txt"}
LAYOUT.update({"DasyLab/" + name: name for name in WORKSHEETS})
LINK_NAME = "BrindaVel.lnk"
MSI_PRODUCT = "{2547E980-5BD2-4A49-8124-551FB39489A1}"  # the product code in peer.wxs
README_BEGIN = "<!-- benchmark table: tools/bench/bench.py --readme regenerates it -->"
README_END = "<!-- end of benchmark table -->"


def run_wine(args, timeout):
    """Runs a Wine command; its exit code, output and error output. Output through files, not pipes: Wine's service
    processes inherit the handles and outlive the program."""
    with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
        done = subprocess.run(args, stdout=out, stderr=err, stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return done.returncode, out.read(), err.read()


def windows_paths(*paths):
    """The Windows names of host paths, as Wine itself forms them (one winepath for all)."""
    code, stdout, stderr = run_wine(["winepath", "-w"] + [os.path.abspath(p) for p in paths], 120)
    names = stdout.splitlines()
    if code != 0 or len(names) != len(paths):
        raise RuntimeError("winepath failed (exit %d): %s" % (code, stderr[-500:]))
    return names


def wine(args, timeout=900):
    """Runs a measuring program; its JSON record (the last line that is one), with the host's time for the run."""
    started = time.time()
    code, stdout, stderr = run_wine(["wine"] + args, timeout)
    lines = [line for line in stdout.splitlines() if line.startswith("{")]
    if not lines:
        raise RuntimeError("no result from %s (exit %d): %s" % (args[0], code, stderr[-500:]))
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


def checked(record, target, payload):
    """The run's faults: the installed tree, the shortcut, the exit code."""
    if "error" not in record:
        record["faults"] = check_layout(target, payload)
        if record.get("exit_code") != 0:
            record["faults"].append("exit code %s" % record.get("exit_code"))
    remove_link()
    return record


def measured(paths, mode, program, scratch, payload):
    """One run of the measuring program in `mode` with a fresh working folder and a missing target folder; the record,
    checked. The working folder is returned too: ours must leave nothing staged in it."""
    work, target = os.path.join(scratch, mode + "-cwd"), os.path.join(scratch, mode + "-target")
    os.makedirs(work)
    remove_link()
    record = wine([paths.measure, mode] + windows_paths(program, work, target))
    return checked(record, target, payload), work


def run_ours(paths, scratch, payload):
    record, work = measured(paths, "ours", paths.ours, scratch, payload)
    if "error" in record:
        return record
    if os.listdir(work):
        record["faults"].append("staged files left: %s" % sorted(os.listdir(work)))
    if "war erfolgreich" not in record.get("result_text", ""):
        record["faults"].append("no success message")
    if record.get("pause_log_full"):
        record["faults"].append("pause log full")
    question = record["question_answered_ms"] - record["question_seen_ms"]
    # "Ja" through to the result box, without the driver's answer to the question and the pauses the program took
    # meanwhile (the loop's before the click is handled, the drain's, every settle step's), as its log has them.
    record["gui_work_ms"] = round(record["result_seen_ms"] - record["clicked_ms"] - question
                                  - record["install_pause_ms"], 3)
    # The result's OK to the process end, without the clean-up's pause.
    record["end_ms"] = round(record["ended_ms"] - record["result_answered_ms"] - record["end_pause_ms"], 3)
    return record


def run_peer_gui(paths, scratch, payload):
    record, _ = measured(paths, "peer-gui", paths.peer, scratch, payload)
    if "error" not in record:
        # Its install button through to its finished page; from its close button to its end.
        record["gui_work_ms"] = round(record["finished_ms"] - record["clicked_ms"], 3)
        record["end_ms"] = round(record["ended_ms"] - record["closed_ms"], 3)
    return record


def msi_remove():
    """Removes the second peer's product, so that the next run installs it anew (not timed)."""
    return run_wine(["wine", "msiexec", "/x", MSI_PRODUCT, "/qn"], 900)[0]


def run_msi(paths, scratch, payload):
    record, _ = measured(paths, "msi", paths.msi, scratch, payload)
    record["removed_exit_code"] = msi_remove()
    return record


# --- Figures ---

def valid(records):
    return [r for r in records if "error" not in r and not r.get("faults")]


def derive(record):
    """The figures of one valid GUI run, ours or the NSIS peer's (times in ms, memory in bytes)."""
    return {
        "ready": record["ready_ms"],
        "drawn": record["drawn_ms"],
        "gui_work": record["gui_work_ms"],
        "end": record["end_ms"],
        # The program's own time over the whole GUI run: start-up to ready, install work, end.
        "whole": record["ready_ms"] + record["gui_work_ms"] + record["end_ms"],
        "peak_ready": record["peak_ready"],
        "peak": record["peak_working_set"],
        "growth": record["peak_working_set"] - record["peak_ready"],
    }


def stat(values):
    """Median, quartiles (inclusive method) and range; None without values."""
    values = [v for v in values if v is not None]
    if not values:
        return None
    q1, _, q3 = statistics.quantiles(values, n=4, method="inclusive") if len(values) > 1 else (values[0],) * 3
    return {"median": statistics.median(values), "q1": q1, "q3": q3, "min": min(values), "max": max(values),
            "n": len(values), "values": values}


FIGURES = ("ready", "drawn", "gui_work", "end", "whole", "peak_ready", "peak", "growth")


def summary(results):
    """Every figure of ours and the NSIS peer, their per-run ratios (runs paired by index, that is in time),
    the splits and the context figures."""
    ours = {r["run"]: r for r in valid(results["ours"])}
    peer = {r["run"]: r for r in valid(results["peer_gui"])}
    msi = valid(results["msi"])
    pairs = sorted(set(ours) & set(peer))
    sizes = results["sizes"]
    m = {"pairs": len(pairs)}
    for key in FIGURES:
        m[key + "_ours"] = stat([derive(r)[key] for r in ours.values()])
        m[key + "_peer"] = stat([derive(r)[key] for r in peer.values()])
        m[key + "_ratio"] = stat([derive(ours[i])[key] / derive(peer[i])[key] for i in pairs
                                  if derive(peer[i])[key]])
    for key in ("shown_ms", "loop_start_ms", "loop_pauses_before_ready", "loop_pause_ms_before_ready",
                "install_pause_ms", "end_pause_ms", "meter_open_ms"):
        m["ours_" + key] = stat([r[key] for r in ours.values()])
    for index, kind in enumerate(("loop", "settle", "drain_and_clean_up")):
        m["ours_%s_pauses" % kind] = stat([r["pause_counts"][index] for r in ours.values()])
        m["ours_%s_pause_ms" % kind] = stat([r["pause_ms"][index] for r in ours.values()])
        m["ours_%s_pause_mean_ms" % kind] = stat([r["pause_ms"][index] / r["pause_counts"][index]
                                                  for r in ours.values() if r["pause_counts"][index]])
    # Where the install work goes: "Ja" to the question box, and the last settle step to the result box.
    m["ours_to_question_ms"] = stat([r["question_seen_ms"] - r["clicked_ms"] - r["question_pause_ms"]
                                     for r in ours.values()])
    m["ours_to_result_box_ms"] = stat([r["result_seen_ms"] - r["last_pause_before_result_ms"] for r in ours.values()])
    m["ours_loop_work_before_ready_ms"] = stat([r["ready_ms"] - r["loop_start_ms"] - r["loop_pause_ms_before_ready"]
                                               for r in ours.values()])
    for key in ("shown_ms", "idle_ms"):
        m["peer_" + key] = stat([r[key] for r in peer.values()])
    m["overhead_ours"] = stat([sizes["ours"] - PAYLOAD_BYTES])
    m["overhead_peer"] = stat([sizes["peer"] - PAYLOAD_BYTES])
    m["overhead_ratio"] = stat([(sizes["ours"] - PAYLOAD_BYTES) / (sizes["peer"] - PAYLOAD_BYTES)])
    m["msi_package_overhead"] = stat([sizes["msi"] - PAYLOAD_BYTES] if sizes.get("msi") else [])
    m["msi_work"] = stat([r["ended_ms"] for r in msi])
    m["msi_peak"] = stat([r["peak_working_set"] for r in msi])
    return m


# --- Report ---

def number(value, digits=0):
    return "{:,.{}f}".format(value, digits)


def cell(s, unit, scale=1.0, digits=0):
    """Median with the range over the counted runs."""
    if not s:
        return "n/a"
    text = number(s["median"] / scale, digits) + unit
    if s["min"] != s["max"]:
        text += " (%s–%s)" % (number(s["min"] / scale, digits), number(s["max"] / scale, digits))
    return text


def ratio_cell(r):
    if not r:
        return "n/a"
    if r["n"] == 1:
        return "%.2f" % r["median"]
    return "%.2f (IQR %.2f–%.2f; %.2f–%.2f)" % (r["median"], r["q1"], r["q3"], r["min"], r["max"])


def verdict(r, tolerance=0.0, aim=None):
    """Smaller is better. Within noise where the ratios' interquartile range holds 1.0 (or the median lies
    within the tolerance of it); met only where the whole range lies below 1.0; missed where it lies above."""
    if not r:
        return "n/a"
    median = r["median"]
    if r["q1"] <= 1.0 <= r["q3"] or abs(median - 1.0) < tolerance:
        return "within noise (%.2f×)" % median
    if r["q3"] < 1.0:
        text = "met, %.2f× the peer's" % median
        if aim is not None:
            text += "; aim %.2f %s" % (aim, "met" if r["q3"] <= aim else "within noise" if r["q1"] <= aim else "missed")
        return text
    return "missed, %.2f× the peer's" % median


def overhead_verdict(s):
    x = s["median"]
    if x < OVERHEAD_AIM:
        return "met, %s B under 32 KiB" % number(OVERHEAD_AIM - x)
    limit = ("within this round's limit of %s B (%s B under it)" % (number(OVERHEAD_LIMIT), number(OVERHEAD_LIMIT - x))
             if x <= OVERHEAD_LIMIT else "and over this round's limit of %s B" % number(OVERHEAD_LIMIT))
    return "missed by %s B; %s" % (number(x - OVERHEAD_AIM), limit)


def report(results):
    m = summary(results)
    results["summary"] = m
    ms, kib = (" ms", 1.0), (" KiB", 1024.0)
    rows = [
        ("Start-up, ready (launch → waiting for input, a posted message handled)", "ready", ms,
         "≤ peer (aim 0.80)", dict(aim=0.80)),
        ("Start-up, complete window drawn (launch → last gadget / page visible)", "drawn", ms, "≤ peer", {}),
        ("Install work, GUI (\"Ja\" → result box / install button → finished page; pauses out)", "gui_work", ms,
         "≤ peer", {}),
        ("End (result's OK / close button → process end; pauses out)", "end", ms, "≤ peer", {}),
        ("Whole GUI run (ready + install work + end)", "whole", ms, "≤ peer", {}),
        ("Peak working set at ready", "peak_ready", kib, "< peer", dict(tolerance=MEMORY_NOISE)),
        ("Peak working set, whole GUI run", "peak", kib, "< peer", dict(tolerance=MEMORY_NOISE)),
        ("Peak working set, growth from ready", "growth", kib, "≤ peer", {}),
    ]
    head = ("Figure", "Ours", "NSIS peer", "Ours/NSIS per run: median (IQR; range)", "Goal", "Result")
    lines = ["| " + " | ".join(head) + " |", "|" + "---|" * len(head)]
    lines.append("| Overhead (file size − %s B of payload) | %s | %s | %s | under 32 KiB (this round: at most %s B)"
                 " | %s |" % (number(PAYLOAD_BYTES), cell(m["overhead_ours"], " B"), cell(m["overhead_peer"], " B"),
                    ratio_cell(m["overhead_ratio"]), number(OVERHEAD_LIMIT), overhead_verdict(m["overhead_ours"])))
    for name, key, (unit, scale), goal, options in rows:
        lines.append("| %s | %s | %s | %s | %s | %s |" % (
            name, cell(m[key + "_ours"], unit, scale), cell(m[key + "_peer"], unit, scale),
            ratio_cell(m[key + "_ratio"]), goal, verdict(m[key + "_ratio"], **options)))

    s = results.get("strings") or {}
    if s:
        def by(r):
            return ("met, %.2f×" % r) if r <= 1.0 else ("missed, %.2f×" % r)
        lines += ["", "| String builder (%s × 10 texts, one process) | Builder | std::string, one expression"
                  " | std::string, appending | Ratios | Goal | Result |" % number(s["iterations"]),
                  "|---|---|---|---|---|---|---|",
                  "| time | %.2f s | %.2f s | %.2f s | %.2f / %.2f | ≤ 1.00 | %s / %s |"
                  % (s["builder_s"], s["std_expression_s"], s["std_append_s"], s["ratio_vs_expression"],
                     s["ratio_vs_append"], by(s["ratio_vs_expression"]), by(s["ratio_vs_append"]))]

    def med(key, digits=0):
        return number(m[key]["median"], digits) if m.get(key) else "n/a"

    ours, gui, msi = results["ours"], results["peer_gui"], results["msi"]
    # The pauses named below are the installer's own: the event loop's 10 ms (app/main.cpp); the settle step's 20 ms,
    # repeated until the step has a result, the seconds clock is more than 2 past its start or 3,000 ms have passed on
    # the tick count (app/install.h),
    # over PROGRESS_TOTAL's 30 steps (app/install.h); the drain's and the clean-up's 200 ms (app/install.cpp).
    notes = [
        "",
        "%d counted runs of each (after one warm-up of each), in the order ours, NSIS peer, MSI peer and back"
        " (ABBA); valid: ours %d, NSIS peer %d, MSI peer %d; ratios from the %d runs paired in time. %s, %s; load"
        " average %s at the start, %s at the end (%d cores)."
        % (results["runs"], len(valid(ours)), len(valid(gui)), len(valid(msi)), m["pairs"], results["when"],
           results.get("platform", "Wine"), load_text(results.get("load_average_start")),
           load_text(results.get("load_average_end")), results.get("cores", 2)),
        "",
        "Verdicts: the median of the per-run ratios; \"within noise\" where their interquartile range holds 1.0"
        " (for memory also where the median is within 2 % of it), \"met\" or \"missed\" only outside it.",
        "",
        "Our start-up (medians): window shown %s ms → last gadget shown %s ms → event loop entered %s ms → ready %s"
        " ms; before ready the loop took %s pauses of 10 ms (%s ms) and worked %s ms besides. The NSIS peer's: frame"
        " shown %s ms → page shown %s ms → input-idle %s ms → ready %s ms."
        % (med("ours_shown_ms"), med("drawn_ours"), med("ours_loop_start_ms"), med("ready_ours"),
           med("ours_loop_pauses_before_ready"), med("ours_loop_pause_ms_before_ready"),
           med("ours_loop_work_before_ready_ms", 1), med("peer_shown_ms"), med("drawn_peer"), med("peer_idle_ms"),
           med("ready_peer")),
        "",
        "Pauses taken out of ours, as its log has them (medians per run): %s ms inside the install work (the drain's"
        " 200 ms, %s settle pauses of 20 ms for 30 steps and the 3 that always fail, the loop's pause before the"
        " click is handled), %s ms inside the end (the clean-up's 200 ms). Ours is the benchmark's build, whose"
        " only difference is that log: opening it costs %s ms, within its ready figure. A pause lasts a little longer"
        " than asked: 10 ms took %s ms, 20 ms %s ms, 200 ms %s ms (medians of the per-run means)."
        % (med("ours_install_pause_ms"), med("ours_settle_pauses"), med("ours_end_pause_ms", 1),
           med("ours_meter_open_ms", 2), med("ours_loop_pause_mean_ms", 2), med("ours_settle_pause_mean_ms", 2),
           med("ours_drain_and_clean_up_pause_mean_ms", 2)),
        "",
        "Our install work includes its two message boxes: \"Ja\" to the question box %s ms, the last settle step"
        " to the result box %s ms (medians, pauses out); the NSIS peer shows none."
        % (med("ours_to_question_ms"), med("ours_to_result_box_ms")),
        "",
        "Context: the MSI peer's package carries %s B besides the payload (its engine is part of the system); its"
        " quiet install (msiexec start to end) takes %s and peaks at %s."
        % (med("msi_package_overhead"), cell(m["msi_work"], " ms"), cell(m["msi_peak"], " KiB", 1024)),
    ]
    faulty = [(name, r) for name, records in (("ours", ours), ("NSIS", gui), ("MSI", msi))
              for r in records if "error" in r or r.get("faults")]
    if faulty:
        notes += ["", "Runs left out: " + "; ".join(
            "%s run %s: %s" % (name, r.get("run"), r.get("error") or ", ".join(r["faults"])) for name, r in faulty)]
    return "\n".join(lines + notes) + "\n"


def load_text(value):
    return "n/a" if value is None else "%.2f" % float(value)


def write(results, out, table):
    with open(os.path.join(out, "results.md"), "w") as f:
        f.write(table)
    with open(os.path.join(out, "results.json"), "w") as f:
        json.dump(results, f, indent=1)
    with open(os.path.join(out, "results.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(("figure", "median", "q1", "q3", "min", "max", "n"))
        for key, s in results["summary"].items():
            if isinstance(s, dict):
                writer.writerow((key, "%g" % s["median"], "%g" % s["q1"], "%g" % s["q3"], "%g" % s["min"],
                                 "%g" % s["max"], s["n"]))
        strings = results.get("strings") or {}
        for key in ("ratio_vs_expression", "ratio_vs_append"):
            if key in strings:
                writer.writerow(("strings_" + key,) + ("%g" % strings[key],) * 5 + (1,))


def put_into_readme(readme, table):
    """Replaces the block between the README's two benchmark markers with the table."""
    with open(readme) as f:
        text = f.read()
    begin, end = text.find(README_BEGIN), text.find(README_END)
    if begin < 0 or end < begin:
        raise SystemExit("%s: the benchmark markers are missing" % readme)
    text = text[:begin + len(README_BEGIN)] + "\n" + table + text[end:]
    with open(readme, "w") as f:
        f.write(text)


def platform():
    """Wine's version and whether its i386 programs run natively or under the user-mode emulator."""
    try:
        with open("/proc/sys/fs/binfmt_misc/qemu-i386") as f:
            emulated = f.readline().strip() == "enabled"
    except OSError:
        emulated = False
    version = subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip()
    return "%s, i386 %s" % (version, "under user-mode emulation" if emulated else "run natively")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--ours", help="the benchmark's build of our installer (it logs its pauses)")
    parser.add_argument("--shipped", help="our installer as shipped (its size is the overhead)")
    parser.add_argument("--peer")
    parser.add_argument("--msi", help="the second peer's package (left out when not given)")
    parser.add_argument("--measure")
    parser.add_argument("--strings")
    parser.add_argument("--payload")
    parser.add_argument("--runs", type=int, default=12)
    parser.add_argument("--iterations", type=int, default=1000000)
    parser.add_argument("--report-only", action="store_true", help="the table again from the last results.json")
    parser.add_argument("--readme", help="also put the table into this README, between its benchmark markers")
    paths = parser.parse_args()
    out = paths.out
    if paths.report_only:
        with open(os.path.join(out, "results.json")) as f:
            results = json.load(f)
    else:
        results = collect(paths)
    table = report(results)
    write(results, out, table)
    if paths.readme:
        put_into_readme(paths.readme, table)
    print(table)


def collect(paths):
    results = {"runs": paths.runs, "when": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
               "platform": platform(), "cores": os.cpu_count(), "load_average_start": os.getloadavg()[0],
               "sizes": {"ours": os.path.getsize(paths.shipped), "peer": os.path.getsize(paths.peer),
                         "msi": os.path.getsize(paths.msi) if paths.msi else None, "payload": PAYLOAD_BYTES},
               "ours": [], "peer_gui": [], "msi": []}
    if paths.msi:
        msi_remove()  # left installed by an interrupted benchmark
    scratch_root = os.path.join(paths.out, "scratch")
    for index in range(paths.runs + 1):  # run 0 warms the prefix and the page cache; it is not counted
        scratch = os.path.join(scratch_root, "run-%d" % index)
        shutil.rmtree(scratch, ignore_errors=True)
        os.makedirs(scratch)
        steps = [("ours", lambda: run_ours(paths, scratch, paths.payload)),
                 ("peer_gui", lambda: run_peer_gui(paths, scratch, paths.payload))]
        if paths.msi:
            steps.append(("msi", lambda: run_msi(paths, scratch, paths.payload)))
        if index % 2 == 0:
            steps.reverse()  # counted runs alternate (run 1 ours first, run 2 ours last, ...): ABBA
        for name, step in steps:
            try:
                record = step()
            except (RuntimeError, subprocess.TimeoutExpired, OSError, KeyError, ValueError) as fault:
                record = {"error": str(fault)[:300]}
            record["run"] = index
            print("run %d %s: %s" % (index, name, json.dumps(record)[:300]), file=sys.stderr, flush=True)
            if index:
                results[name].append(record)
    if paths.strings:
        results["strings"] = wine([paths.strings, str(paths.iterations)], timeout=3600)
    results["load_average_end"] = os.getloadavg()[0]
    return results


if __name__ == "__main__":
    main()
