// Micro-benchmark: the installer's message texts and paths built with the string builder and with std::string.
// Contract: strings_bench [ITERATIONS] prints one JSON object with the times and the ratios; a benchmark tool, not product code.
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>
#include <string>

#include "core/strings.h"

// One iteration builds what one installation builds once of each kind: the question, the status line, the
// window title, a worksheet destination (the six pairs in turn), the notes destination, the executable's
// destination and error text, the result title and text, the shortcut description; each stored in its variable.

static char* target_path;
static char* product_label;
static char* executable_name;
static char* version_text;
static char* edition_prefix;

static char* question;
static char* status_line;
static char* window_title;
static char* worksheet_destination;
static char* notes_destination;
static char* executable_destination;
static char* executable_error;
static char* result_title;
static char* result_text;
static char* description;

static unsigned sink;

static void build_with_builder(int n) {
    {
        TextBuilder text;
        text.Add("Der eingestellte Zielpfad existiert noch nicht.  \n\n")
            .Add("Soll der Zielpfad \n\n    ")
            .Add(target_path)
            .Add("  \n\n")
            .Add("angelegt werden ? ");
        text.CommitTo(&question);
    }
    {
        TextBuilder text;
        text.Add(product_label).Add(" nun installieren ?");
        text.CommitTo(&status_line);
    }
    {
        TextBuilder text;
        text.Add(" Installation der ").Add(product_label).Add(" V.").AddNumber(23);
        text.CommitTo(&window_title);
    }
    {
        TextBuilder text;
        text.Add(target_path).Add("DasyLab\\").Add("Temperatur-").AddNumber(n % 6 + 1).Add(n & 1 ? "'.dsb" : ".dsb");
        text.CommitTo(&worksheet_destination);
    }
    {
        TextBuilder text;
        text.Add(target_path).Add("Text\\").Add("Notiz.txt");
        text.CommitTo(&notes_destination);
    }
    {
        TextBuilder text;
        text.Add(target_path).Add(executable_name);
        text.CommitTo(&executable_destination);
    }
    {
        TextBuilder text;
        text.Add("Die Datei  '").Add(executable_name).Add("'  konnte nicht erzeugt werden!   ");
        text.CommitTo(&executable_error);
    }
    {
        TextBuilder text;
        text.Add(" ").Add(edition_prefix).Add("Software für BrindaVel ");
        text.CommitTo(&result_title);
    }
    {
        TextBuilder text;
        text.Add("Die Installation der ")
            .Add(edition_prefix)
            .Add("Software   \n")
            .Add("Version ")
            .Add(version_text)
            .Add(" war erfolgreich !   ");
        text.CommitTo(&result_text);
    }
    {
        TextBuilder text;
        text.Add(edition_prefix).Add("Bedienprogramm für BrindaVel");
        text.CommitTo(&description);
    }
    sink += (unsigned char)question[60] + (unsigned char)worksheet_destination[TextLength(worksheet_destination) - 5] +
            (unsigned char)result_text[3] + (unsigned char)description[0];
}

// The same texts with std::string, in two styles: assembled as one expression and assigned (what such code
// usually looks like), and appended part by part into the kept variable (no allocation once warm).
struct StdTexts {
    std::string target_path = "Z:\\work\\bench\\scratch\\BrindaVel\\";
    std::string product_label = "Software für BrindaVel";
    std::string executable_name = "Brindavel.exe";
    std::string version_text = "V.23";
    std::string edition_prefix;
    std::string question, status_line, window_title, worksheet_destination, notes_destination, executable_destination,
        executable_error, result_title, result_text, description;
};

static void build_std_expression(StdTexts& s, int n) {
    s.question = "Der eingestellte Zielpfad existiert noch nicht.  \n\n" + std::string("Soll der Zielpfad \n\n    ") +
                 s.target_path + "  \n\n" + "angelegt werden ? ";
    s.status_line = s.product_label + " nun installieren ?";
    s.window_title = " Installation der " + s.product_label + " V." + std::to_string(23);
    s.worksheet_destination =
        s.target_path + "DasyLab\\" + "Temperatur-" + std::to_string(n % 6 + 1) + (n & 1 ? "'.dsb" : ".dsb");
    s.notes_destination = s.target_path + "Text\\" + "Notiz.txt";
    s.executable_destination = s.target_path + s.executable_name;
    s.executable_error = "Die Datei  '" + s.executable_name + "'  konnte nicht erzeugt werden!   ";
    s.result_title = " " + s.edition_prefix + "Software für BrindaVel ";
    s.result_text = "Die Installation der " + s.edition_prefix + "Software   \n" + "Version " + s.version_text +
                    " war erfolgreich !   ";
    s.description = s.edition_prefix + "Bedienprogramm für BrindaVel";
    sink += (unsigned char)s.question[60] + (unsigned char)s.worksheet_destination[s.worksheet_destination.size() - 5] +
            (unsigned char)s.result_text[3] + (unsigned char)s.description[0];
}

static void build_std_append(StdTexts& s, int n) {
    char digits[16];
    s.question.assign("Der eingestellte Zielpfad existiert noch nicht.  \n\n")
        .append("Soll der Zielpfad \n\n    ")
        .append(s.target_path)
        .append("  \n\n")
        .append("angelegt werden ? ");
    s.status_line.assign(s.product_label).append(" nun installieren ?");
    snprintf(digits, sizeof digits, "%d", 23);
    s.window_title.assign(" Installation der ").append(s.product_label).append(" V.").append(digits);
    snprintf(digits, sizeof digits, "%d", n % 6 + 1);
    s.worksheet_destination.assign(s.target_path)
        .append("DasyLab\\")
        .append("Temperatur-")
        .append(digits)
        .append(n & 1 ? "'.dsb" : ".dsb");
    s.notes_destination.assign(s.target_path).append("Text\\").append("Notiz.txt");
    s.executable_destination.assign(s.target_path).append(s.executable_name);
    s.executable_error.assign("Die Datei  '").append(s.executable_name).append("'  konnte nicht erzeugt werden!   ");
    s.result_title.assign(" ").append(s.edition_prefix).append("Software für BrindaVel ");
    s.result_text.assign("Die Installation der ")
        .append(s.edition_prefix)
        .append("Software   \n")
        .append("Version ")
        .append(s.version_text)
        .append(" war erfolgreich !   ");
    s.description.assign(s.edition_prefix).append("Bedienprogramm für BrindaVel");
    sink += (unsigned char)s.question[60] + (unsigned char)s.worksheet_destination[s.worksheet_destination.size() - 5] +
            (unsigned char)s.result_text[3] + (unsigned char)s.description[0];
}

static double seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER frequency) {
    return (double)(to.QuadPart - from.QuadPart) / (double)frequency.QuadPart;
}

int main(int argc, char** argv) {
    int iterations = argc > 1 ? atoi(argv[1]) : 1000000;
    if (iterations < 10) iterations = 10;
    StartStrings();
    AssignText(&target_path, "Z:\\work\\bench\\scratch\\BrindaVel\\");
    AssignText(&product_label, "Software für BrindaVel");
    AssignText(&executable_name, "Brindavel.exe");
    AssignText(&version_text, "V.23");
    AssignText(&edition_prefix, "");
    StdTexts texts;

    // Both outputs must agree, or the comparison measures different work.
    build_with_builder(1);
    build_std_append(texts, 1);
    int same =
        TextEquals(question, texts.question.c_str()) &&
        TextEquals(worksheet_destination, texts.worksheet_destination.c_str()) &&
        TextEquals(window_title, texts.window_title.c_str()) && TextEquals(result_text, texts.result_text.c_str()) &&
        TextEquals(description, texts.description.c_str()) && TextEquals(result_title, texts.result_title.c_str());
    build_std_expression(texts, 1);
    same = same && TextEquals(question, texts.question.c_str()) &&
           TextEquals(worksheet_destination, texts.worksheet_destination.c_str());

    // Warm up, then interleave the three in ten slices, so a change of machine load hits all of them alike.
    for (int i = 0; i < 10000; i++) {
        build_with_builder(i);
        build_std_expression(texts, i);
        build_std_append(texts, i);
    }
    LARGE_INTEGER frequency, a, b;
    QueryPerformanceFrequency(&frequency);
    double builder = 0, expression = 0, append = 0;
    const int slices = 10;
    int done = 0;
    for (int slice = 0; slice < slices; slice++) {
        int count = iterations / slices + (slice < iterations % slices ? 1 : 0);
        QueryPerformanceCounter(&a);
        for (int i = 0; i < count; i++) build_with_builder(done + i);
        QueryPerformanceCounter(&b);
        builder += seconds(a, b, frequency);
        QueryPerformanceCounter(&a);
        for (int i = 0; i < count; i++) build_std_expression(texts, done + i);
        QueryPerformanceCounter(&b);
        expression += seconds(a, b, frequency);
        QueryPerformanceCounter(&a);
        for (int i = 0; i < count; i++) build_std_append(texts, done + i);
        QueryPerformanceCounter(&b);
        append += seconds(a, b, frequency);
        done += count;
    }
    printf(
        "{\"iterations\":%d,\"texts_per_iteration\":10,\"same_texts\":%d,\"builder_s\":%.4f,"
        "\"std_expression_s\":%.4f,\"std_append_s\":%.4f,\"ratio_vs_expression\":%.4f,\"ratio_vs_append\":%.4f,"
        "\"sink\":%u}\n",
        iterations, same, builder, expression, append, builder / expression, builder / append, sink);
    return same ? 0 : 1;
}
