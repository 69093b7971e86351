// The Tcl test's standard input for scripts: reads of the process's stdin that give way to the host's stop request.
#pragma once

// Tcl's own standard input channel waits in read() for as long as nothing is typed: a script in
// "gets stdin" would keep the host waiting after the operator asked it to stop, unless the signal
// happened to interrupt that very read. This channel takes the place of Tcl's: it reads file
// descriptor 0 too, but waits in polls of kPollMs and fails a read with ECANCELED ("operation
// canceled") once the host's stop flag is set, whatever became of the signal.
//
// Every interpreter takes the thread's standard channels when it first uses a channel, so the
// channel goes in before the first interpreter is created. Each Tcl test holds it while it lives:
// the first holder installs it, the last one removes it again (before the library that holds its
// code can be unloaded), leaving Tcl without a standard input.
namespace tclstdin {

constexpr int kPollMs = 20;

void Acquire();
void Release();

}  // namespace tclstdin
