// A caller of KestrovV6-Play.exe, as a launcher written in C# would call it:
// the tool started without a shell, its lines read as UTF-8 as they come and
// named by docs/report-lines.tsv, a watchdog from docs/calling.md, `show`
// after a hidden run that pressed nothing, and the outcome turned into what
// to tell the player. It keeps to what .NET Framework 4 and Mono offer.
//
//   mono KestrovPlay.exe GRAMMAR.tsv TIMEOUT [--watchdog SECONDS] TOOL...
//
// TOOL is the command that starts the tool: the exe's path on Windows
// (C:\...\KestrovV6-Play.exe); `tools/wine-run .../KestrovV6-Play.exe` here.
// --watchdog replaces the documented bound (tests use it to stand for a
// tool that never ends).
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Text;
using System.Text.RegularExpressions;
using System.Threading;

static class KestrovPlay
{
    // The longest a run can take (docs/calling.md): the time-out plus 220 s,
    // counted from the process start. show, minimize and close: 12 s.
    const int BoundPastTimeoutSeconds = 220;
    const int ShowBoundSeconds = 12;

    class LineKind
    {
        public string Keyword;
        public Regex Pattern;
        public string[] Commands;
    }

    class Run
    {
        public List<string> Keywords = new List<string>();
        public int ExitCode = -1;
        public bool Killed;
        public bool Saw(string keyword) { return Keywords.Contains(keyword); }
    }

    static List<LineKind> LoadGrammar(string file)
    {
        var kinds = new List<LineKind>();
        foreach (string row in File.ReadAllLines(file, new UTF8Encoding(false)).Skip(1)) {
            string[] fields = row.Split('\t');
            if (fields.Length == 4)
                kinds.Add(new LineKind {
                    Keyword = fields[0],
                    // The whole line, as Java's matches() and Python's fullmatch() take it.
                    Pattern = new Regex(@"\A(?:" + fields[1] + @")\z", RegexOptions.CultureInvariant),
                    Commands = fields[2].Split(',')
                });
        }
        return kinds;
    }

    // The keyword of the first row that matches the whole line, or null.
    static string KeywordOf(List<LineKind> grammar, string line, string command)
    {
        foreach (LineKind kind in grammar)
            if (kind.Commands.Contains(command) && kind.Pattern.IsMatch(line))
                return kind.Keyword;
        return null;
    }

    // One argument as the C runtime of the program reads it back: no shell
    // is involved, but Windows passes one command line.
    static string Quote(string argument)
    {
        if (argument.Length > 0 && argument.IndexOfAny(new[] { ' ', '\t', '"' }) < 0)
            return argument;
        var quoted = new StringBuilder("\"");
        int backslashes = 0;
        foreach (char c in argument) {
            if (c == '\\') {
                backslashes++;
                continue;
            }
            quoted.Append('\\', c == '"' ? backslashes * 2 + 1 : backslashes);
            backslashes = 0;
            quoted.Append(c);
        }
        quoted.Append('\\', backslashes * 2);
        return quoted.Append('"').ToString();
    }

    static Run RunTool(IList<string> tool, IList<string> arguments, int watchdogSeconds, List<LineKind> grammar)
    {
        var start = new ProcessStartInfo(tool[0]) {
            Arguments = string.Join(" ", tool.Skip(1).Concat(arguments).Select(Quote)),
            UseShellExecute = false,
            RedirectStandardOutput = true,
            RedirectStandardError = true,
            StandardOutputEncoding = new UTF8Encoding(false),
            CreateNoWindow = true,
        };
        var run = new Run();
        using (Process process = Process.Start(start)) {
            process.ErrorDataReceived += (sender, e) => { };  // nothing is expected there
            process.BeginErrorReadLine();
            var watchdog = new Thread(() => {
                if (!process.WaitForExit(watchdogSeconds * 1000)) {
                    run.Killed = true;
                    try { process.Kill(); } catch (InvalidOperationException) { /* it ended */ }
                }
            });
            watchdog.Start();
            for (string line; (line = process.StandardOutput.ReadLine()) != null;) {
                string keyword = KeywordOf(grammar, line, arguments[0]);
                // A later version may add kinds of lines: ignore them.
                Console.WriteLine((keyword == null ? "tool, unknown line: " : "tool: ") + line);
                if (keyword != null)
                    run.Keywords.Add(keyword);
            }
            process.WaitForExit();
            watchdog.Join();
            run.ExitCode = process.ExitCode;
        }
        return run;
    }

    // What to tell the player, from the exit code and the lines.
    static string Outcome(Run run)
    {
        if (run.Killed)
            return "KILLED: the tool did not finish in time. Press Play in the Minecraft Launcher yourself.";
        switch (run.ExitCode) {
        case 0:
            // Exit 0 in press means a PRESSED line came; the last line may be a later one.
            return run.Saw("PRESSED") ? "PRESSED: Minecraft is starting."
                                      : "FAILED: exit code 0 without PRESSED. Press Play yourself.";
        case 2:
            if (!run.Saw("WINDOW"))
                return "NO_LAUNCHER: the Minecraft Launcher did not open. Start it, then try again.";
            if (run.Saw("NOT_SELECTED"))
                return "NOT_SELECTED: select the Kestrov V6 profile in the Minecraft Launcher, then press Play.";
            return "NOTFOUND: Play was not found. Press Play in the Minecraft Launcher yourself.";
        case 3:
            return "LOGIN: sign in to the Minecraft Launcher, then try again.";
        case 4:
            return "STUCK: Play did not react. Press Play in the Minecraft Launcher yourself.";
        case 1:
            return "FAILED: the tool was called wrongly (exit code 1).";
        default:
            return "FAILED: the tool ended with exit code 0x" + run.ExitCode.ToString("x") + ". Press Play yourself.";
        }
    }

    static int Main(string[] args)
    {
        if (args.Length < 3) {
            Console.Error.WriteLine("usage: KestrovPlay GRAMMAR.tsv TIMEOUT [--watchdog SECONDS] TOOL...");
            return 1;
        }
        Console.OutputEncoding = new UTF8Encoding(false);
        List<LineKind> grammar = LoadGrammar(args[0]);
        int timeout = int.Parse(args[1]);
        int watchdog = timeout + BoundPastTimeoutSeconds;
        int first = 2;
        if (args[2] == "--watchdog") {
            watchdog = int.Parse(args[3]);
            first = 4;
        }
        string[] tool = args.Skip(first).ToArray();

        Run run = RunTool(tool, new[] { "press", "--hide", "--timeout", timeout.ToString() }, watchdog, grammar);
        // A hidden run that pressed nothing, or was ended, may leave the
        // launcher out of sight: show it.
        if (run.Killed || !run.Saw("PRESSED"))
            RunTool(tool, new[] { "show" }, ShowBoundSeconds, grammar);
        Console.WriteLine("OUTCOME " + Outcome(run));
        return 0;
    }
}
