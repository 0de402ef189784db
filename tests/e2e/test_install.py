"""The programs as a user meets them: their version, man pages and bash completion (made by the
build from the command description; from where the .deb put them when TIDEWELL_PROGRAM_DIR
points at the installed programs), and the stores found through the configs of khard and khal
alone in a fresh home."""

import re
import shutil
import subprocess
import unittest
from pathlib import Path

from peers import BINARY_DIR, BUILD_DIR, DEMO_STORE, INSTALLED, SOURCE_DIR, Sandbox


def project_version():
    return re.search(r"project\(Tidewell VERSION ([0-9.]+)",
                     (SOURCE_DIR / "CMakeLists.txt").read_text()).group(1)


def source_commit():
    done = subprocess.run(["git", "-C", str(SOURCE_DIR), "rev-parse", "--short=12", "HEAD"],
                          capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else None


class InstallTest(Sandbox):
    def test_both_programs_tell_their_version_and_commit(self):
        commit = source_commit()
        for program in ("tidewell", "tidewell-gui"):
            with self.subTest(program=program):
                out, _ = self.run_peer(str(BINARY_DIR / program), "--version")
                built = (f"git commit {commit}(, with uncommitted changes)?" if commit
                         else "not built from a git checkout")
                self.assertRegex(out,
                                 rf"\A{program} {re.escape(project_version())} \({built}\)\n\Z")

    def test_the_menu_entry_opens_a_window_with_an_icon_and_the_class_it_names(self):
        desktop = (Path("/usr/share/applications") if INSTALLED else SOURCE_DIR / "data") \
            / "org.tidewell.tidewell.desktop"
        entry = desktop.read_text()
        exec_line = re.search(r"^Exec=(.*)$", entry, re.M).group(1).split()
        self.assertEqual(exec_line, ["tidewell-gui"], "the menu starts it with no arguments")
        wm_class = re.search(r"^StartupWMClass=(.*)$", entry, re.M).group(1)
        # A home with no store remembered and no config: once this refused to open at all.
        # Docks match a window to its entry by WM_CLASS, which only an X server shows.
        script = ('"$0" & for i in $(seq 60); do\n'
                  '  id=$(xwininfo -root -tree | awk \'/"Marrowby/ {print $1; exit}\')\n'
                  '  [ -n "$id" ] && break; sleep 0.5; done\n'
                  'xprop -id "$id" WM_CLASS _NET_WM_ICON | grep -v "^\\s"; kill $!\n')
        done = subprocess.run(["xvfb-run", "-a", "sh", "-c", script,
                               str(BINARY_DIR / exec_line[0])],
                              env=dict(self.env, QT_QPA_PLATFORM="xcb"),
                              capture_output=True, text=True, timeout=120)
        self.assertNotIn("No store", done.stderr)
        self.assertIn(f'WM_CLASS(STRING) = "tidewell-gui", "{wm_class}"\n', done.stdout,
                      done.stderr)
        # The built-in icon comes in several sizes, the installed theme's SVG in one.
        self.assertRegex(done.stdout, r"_NET_WM_ICON\(CARDINAL\) = \tIcon \(\d+ x \d+\):\n")

    def man(self, page):
        where = [page] if INSTALLED else ["-l", str(BUILD_DIR / "manuals" / f"{page}.1")]
        return self.run_peer("man", "-P", "cat", *where, MANWIDTH="100")[0]

    def test_man_pages_hold_every_command_and_option_as_the_help_prints_them(self):
        page = self.man("tidewell")
        self.assertIn("tidewell - search and replace in contacts, appointments and tasks", page)
        self.assertEqual(re.findall(r"^([A-Z][A-Z ]+)$", page, re.M),
                         ["NAME", "SYNOPSIS", "DESCRIPTION", "COMMANDS", "PATTERNS", "EXAMPLES",
                          "EXIT STATUS", "FILES", "ENVIRONMENT", "SEE ALSO"])
        overview = self.tidewell_ok("--help")
        commands = re.findall(r"^  ([a-z]+)  ", overview.split("\nCommands:\n")[1], re.M)
        self.assertEqual(len(commands), 9)
        for command in commands:
            self.assertIn(self.tidewell_ok("help", command).splitlines()[0], page)
        self.assertIn("tidewell-gui [--store DIR|URL]...", self.man("tidewell-gui"))

    def completions(self, line):
        """What bash offers for `line` (the last word is the one completed)."""
        if INSTALLED:
            load = ("source /usr/share/bash-completion/bash_completion\n"
                    "_completion_loader tidewell\n")
        else:
            load = f"source '{BUILD_DIR / 'manuals' / 'tidewell.bash'}'\n"
        script = (load + "complete -p tidewell\n"
                  f"COMP_WORDS=({line})\n"
                  "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                  "_tidewell\n"
                  "for word in \"${COMPREPLY[@]}\"; do echo \"$word\"; done\n")
        # The completion asks the program on the PATH for folders and runs.
        out, _ = self.run_peer("bash", "--norc", "--noprofile", "-c", script, cwd=self.root,
                               PATH=f"{BINARY_DIR}:{self.env['PATH']}")
        registered, *offered = out.splitlines()
        self.assertEqual(registered, "complete -F _tidewell tidewell")
        return sorted(offered)

    def test_bash_completes_commands_options_choices_folders_fields_and_runs(self):
        (self.root / "stores" / "one").mkdir(parents=True)
        self.tidewell_ok("--store", str(self.store), "replace", "--search", "555", "--replace",
                         "777", "--folder", "contacts", "--fields", "phone", "--yes")
        run_id = self.tidewell_ok("--store", str(self.store), "runs").split("\t")[0]
        rows = [  # (command line so far, what bash offers)
            ("tidewell rep", ["replace"]),
            ("tidewell --store stores/one r", ["replace", "runs"]),
            ("tidewell --st", ["--store"]),
            ("tidewell --store sto", ["store", "stores"]),
            ("tidewell set --c", ["--case"]),
            ("tidewell set --case ''", ["0", "1"]),
            ("tidewell set --search ''", []),
            ("tidewell --store store replace --folder c", ["calendar", "contacts"]),
            ("tidewell replace --fields MobilePhone,Pa", ["MobilePhone,Pager"]),
            ("tidewell undo ''", [run_id]),
            ("tidewell runs --show ''", [run_id]),
        ]
        for line, offered in rows:
            with self.subTest(line=line):
                self.assertEqual(self.completions(line), offered)

    def completion_file(self, shell):
        if INSTALLED:
            return {"zsh": "/usr/share/zsh/vendor-completions/_tidewell",
                    "fish": "/usr/share/fish/vendor_completions.d/tidewell.fish"}[shell]
        return str(BUILD_DIR / "manuals" / {"zsh": "_tidewell", "fish": "tidewell.fish"}[shell])

    def test_fish_completes_commands_and_choices_and_zsh_reads_its_file(self):
        script = (f"source '{self.completion_file('fish')}'\n"
                  "complete -C 'tidewell rep'; complete -C 'tidewell fields --tasks '\n")
        self.assertEqual(self.run_peer("fish", "--no-config", "-c", script)[0].splitlines(),
                         ["replace\tRuns the search and replace over every chosen field of every"
                          " item of the chosen folders", "all\ttick or untick every task field",
                          "none\ttick or untick every task field"])
        self.run_peer("zsh", "-n", self.completion_file("zsh"))

    def test_with_only_a_khard_and_a_khal_config_folders_lists_their_collections(self):
        home = self.root / "home"
        shutil.copytree(DEMO_STORE / "contacts", home / ".contacts" / "family")
        (home / ".contacts" / "family" / "displayname").unlink()
        shutil.copytree(DEMO_STORE / "calendar", home / ".calendars" / "home")
        self.configure("khard/khard.conf", "[addressbooks]\n[[family]]\npath = ~/.contacts/family/\n")
        self.configure("khal/config", "[calendars]\n[[home]]\npath = $HOME/.calendars/home\n"
                       "color = dark green\n[locale]\ntimeformat = %H:%M\ndateformat = %Y-%m-%d\n"
                       "longdateformat = %Y-%m-%d\ndatetimeformat = %Y-%m-%d %H:%M\n"
                       "longdatetimeformat = %Y-%m-%d %H:%M\n")

        # The peers read these very configs and find the same collections.
        cards = len(list((home / ".contacts" / "family").glob("*.vcf")))
        khard_out, _ = self.run_peer("khard", "list", "--parsable")
        self.assertEqual(len(khard_out.splitlines()), cards)
        self.assertEqual(self.run_peer("khal", "printcalendars")[0], "home\n")
        khal_out, _ = self.run_peer("khal", "list", "--format", "{title}", "2026-01-01", "365d")
        self.assertTrue(khal_out.strip())

        contacts = str((home / ".contacts" / "family").resolve())
        calendar = str((home / ".calendars" / "home").resolve())
        self.assertEqual(self.tidewell_ok("stores"),
                         f"{contacts}\t{self.root / 'config' / 'khard' / 'khard.conf'}\n"
                         f"{calendar}\t{self.root / 'config' / 'khal' / 'config'}\n")
        self.assertEqual(self.tidewell_ok("folders"),
                         f"family\t.\t{contacts}\nCalendar\t.\t{calendar}\n")


if __name__ == "__main__":
    unittest.main()
