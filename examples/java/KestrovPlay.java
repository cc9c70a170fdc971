// A caller of KestrovV6-Play.exe, as a launcher written in Java would call
// it: the tool started with an argument list (no shell), its lines read as
// UTF-8 as they come and named by docs/report-lines.tsv, a watchdog from
// docs/calling.md, `show` after a hidden run that pressed nothing, and the
// outcome turned into what to tell the player.
//
//   java KestrovPlay GRAMMAR.tsv TIMEOUT [--watchdog SECONDS] TOOL...
//
// TOOL is the command that starts the tool: the exe's path on Windows
// (C:\...\KestrovV6-Play.exe); `tools/wine-run .../KestrovV6-Play.exe` here.
// --watchdog replaces the documented bound (tests use it to stand for a
// tool that never ends).
import java.io.BufferedReader;
import java.io.IOException;
import java.io.InputStreamReader;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicBoolean;
import java.util.regex.Pattern;

public final class KestrovPlay {
    // The longest a run can take (docs/calling.md): the time-out plus 220 s,
    // counted from the process start. show, minimize and close: 12 s.
    static final long BOUND_PAST_TIMEOUT_S = 220;
    static final long SHOW_BOUND_S = 12;

    record LineKind(String keyword, Pattern pattern, List<String> commands) {}

    record Run(List<String> keywords, int exitCode, boolean killed) {
        boolean saw(String keyword) { return keywords.contains(keyword); }
    }

    static List<LineKind> loadGrammar(Path file) throws IOException {
        List<LineKind> kinds = new ArrayList<>();
        List<String> rows = Files.readAllLines(file, StandardCharsets.UTF_8);
        for (String row : rows.subList(1, rows.size())) {
            String[] fields = row.split("\t", -1);
            if (fields.length == 4)
                kinds.add(new LineKind(fields[0], Pattern.compile(fields[1]), Arrays.asList(fields[2].split(","))));
        }
        return kinds;
    }

    // The keyword of the first row that matches the whole line, or null.
    static String keywordOf(List<LineKind> grammar, String line, String command) {
        for (LineKind kind : grammar)
            if (kind.commands().contains(command) && kind.pattern().matcher(line).matches())
                return kind.keyword();
        return null;
    }

    static Run runTool(List<String> tool, List<String> arguments, long watchdogSeconds, List<LineKind> grammar)
            throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(tool);
        command.addAll(arguments);
        Process process = new ProcessBuilder(command).redirectError(ProcessBuilder.Redirect.DISCARD).start();
        // The watchdog ends the tool and what it started (Wine's loader here).
        AtomicBoolean fired = new AtomicBoolean(false);
        Thread watchdog = new Thread(() -> {
            try {
                if (!process.waitFor(watchdogSeconds, TimeUnit.SECONDS)) {
                    fired.set(true);
                    process.descendants().forEach(ProcessHandle::destroyForcibly);
                    process.destroyForcibly();
                }
            } catch (InterruptedException ended) {
                // the run ended first
            }
        });
        watchdog.start();
        List<String> keywords = new ArrayList<>();
        try (BufferedReader lines = new BufferedReader(
                new InputStreamReader(process.getInputStream(), StandardCharsets.UTF_8))) {
            for (String line; (line = lines.readLine()) != null; ) {
                String keyword = keywordOf(grammar, line, arguments.get(0));
                // A later version may add kinds of lines: ignore them.
                System.out.println((keyword == null ? "tool, unknown line: " : "tool: ") + line);
                if (keyword != null)
                    keywords.add(keyword);
            }
        }
        boolean finished = process.waitFor(10, TimeUnit.SECONDS);
        watchdog.interrupt();
        watchdog.join();
        return new Run(keywords, finished ? process.exitValue() : -1, fired.get() || !finished);
    }

    // What to tell the player, from the exit code and the lines.
    static String outcome(Run run) {
        if (run.killed())
            return "KILLED: the tool did not finish in time. Press Play in the Minecraft Launcher yourself.";
        switch (run.exitCode()) {
            case 0:
                // Exit 0 in press means a PRESSED line came; the last line may be a later one.
                return run.saw("PRESSED") ? "PRESSED: Minecraft is starting."
                                          : "FAILED: exit code 0 without PRESSED. Press Play yourself.";
            case 2:
                if (!run.saw("WINDOW"))
                    return "NO_LAUNCHER: the Minecraft Launcher did not open. Start it, then try again.";
                if (run.saw("NOT_SELECTED"))
                    return "NOT_SELECTED: select the Kestrov V6 profile in the Minecraft Launcher, then press Play.";
                return "NOTFOUND: Play was not found. Press Play in the Minecraft Launcher yourself.";
            case 3:
                return "LOGIN: sign in to the Minecraft Launcher, then try again.";
            case 4:
                return "STUCK: Play did not react. Press Play in the Minecraft Launcher yourself.";
            case 1:
                return "FAILED: the tool was called wrongly (exit code 1).";
            default:
                return "FAILED: the tool ended with exit code 0x" + Integer.toHexString(run.exitCode())
                        + ". Press Play yourself.";
        }
    }

    public static void main(String[] args) throws Exception {
        if (args.length < 3) {
            System.err.println("usage: KestrovPlay GRAMMAR.tsv TIMEOUT [--watchdog SECONDS] TOOL...");
            System.exit(1);
        }
        List<LineKind> grammar = loadGrammar(Path.of(args[0]));
        int timeout = Integer.parseInt(args[1]);
        long watchdog = timeout + BOUND_PAST_TIMEOUT_S;
        int first = 2;
        if (args[2].equals("--watchdog")) {
            watchdog = Long.parseLong(args[3]);
            first = 4;
        }
        List<String> tool = Arrays.asList(args).subList(first, args.length);

        Run run = runTool(tool, List.of("press", "--hide", "--timeout", Integer.toString(timeout)), watchdog, grammar);
        // A hidden run that pressed nothing, or was ended, may leave the
        // launcher out of sight: show it.
        if (run.killed() || !run.saw("PRESSED"))
            runTool(tool, List.of("show"), SHOW_BOUND_S, grammar);
        System.out.println("OUTCOME " + outcome(run));
    }
}
