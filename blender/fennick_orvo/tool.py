"""Finding the `orvo` tool and running it.

The add-on only gathers what Blender knows; `orvo` does every conversion
(the camera into the host's world, depth into distances, Cryptomatte into
material tags), so the add-on and the command line save the same way.
"""

import os
import shutil
import subprocess


class ToolNotFound(Exception):
    pass


def _executable(path):
    return os.path.isfile(path) and os.access(path, os.X_OK)


def find_tool(preference_path):
    """The tool's path: the add-on's preference, else $ORVO, else `orvo` on
    PATH. A preference or $ORVO that names no program is an error of its own
    rather than a reason to look further, so that a typing mistake does not
    quietly save through another build of the tool."""
    if preference_path:
        if _executable(preference_path):
            return preference_path
        raise ToolNotFound("the orvo tool set in the add-on's preferences is not an "
                           "executable file: " + preference_path)
    from_env = os.environ.get("ORVO")
    if from_env:
        if _executable(from_env):
            return from_env
        raise ToolNotFound("the orvo tool named by the ORVO environment variable is not an "
                           "executable file: " + from_env)
    on_path = shutil.which("orvo")
    if on_path:
        return on_path
    raise ToolNotFound("cannot find the orvo tool: set its path in the add-on's preferences "
                       "(Edit > Preferences > Add-ons > Orvo), set the ORVO environment "
                       "variable, or put orvo on PATH")


class Run:
    """One run of the tool: its exit status and every line it printed, each
    with the kind of report it becomes in Blender."""

    def __init__(self, command, status, stdout, stderr):
        self.command = command
        self.status = status
        self.lines = []  # (kind, text): 'INFO' or 'WARNING'
        for line in stdout.splitlines():
            if line.strip():
                self.lines.append(('INFO', line))
        self.errors = []  # stderr lines that are neither warnings nor notices of a success
        for line in stderr.splitlines():
            if not line.strip():
                continue
            if line.startswith("orvo: warning:"):
                self.lines.append(('WARNING', line))
            elif status == 0:
                self.lines.append(('INFO', line))
            else:
                self.errors.append(line)

    @property
    def ok(self):
        return self.status == 0

    def failure(self):
        what = "; ".join(self.errors) if self.errors else "no message"
        return "orvo %s failed (exit status %d): %s" % (self.command, self.status, what)


def run(tool, command, args):
    try:
        done = subprocess.run([tool, command] + list(args), capture_output=True, text=True,
                              errors="replace")
    except OSError as e:
        return Run(command, 127, "", "orvo: cannot run %s: %s" % (tool, e))
    return Run(command, done.returncode, done.stdout, done.stderr)
