#pragma once
// The help: the usage text in a message box whose Yes and No buttons install
// or remove the Explorer context-menu verbs, with the report in a console of
// the program's own.

// Shows the usage box and acts on the answer: Yes installs the verbs, No
// removes them, each followed by a wait for the user to finish with the
// console; anything else (Cancel, Escape, the close button, a box that could
// not be shown) returns at once. Does not throw. Returns 1, the exit code of a
// help run, on every path.
int show_help_dialog() noexcept;
