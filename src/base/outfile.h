// SPDX-License-Identifier: MIT
// The safe way to write a font file: the bytes go to a file that has no name
// until it is complete, in the output's directory, and the complete file is
// then put in place of the output at once. So no run leaves a partial file
// behind, and an existing file of that name is replaced only by a whole new
// one.
#pragma once
#include <cstdio>
#include <string>

struct outfile {
  std::FILE* f = nullptr;  // unbuffered: every write the caller makes is one write call
  bool anonymous = false;  // made with O_TMPFILE; otherwise a named temporary file
  std::string temp;        // the named temporary file, while it exists

  outfile() = default;
  outfile(const outfile&) = delete;
  outfile& operator=(const outfile&) = delete;
  // A file not committed is closed and, if it has a name, removed.
  ~outfile();
};

// Creates the file for outname: anonymous (O_TMPFILE) where the file system
// allows it, else a named temporary file ".kilnfont-XXXXXX" beside outname.
// Its mode is what a new file gets (0666 less the umask). Ends the run with
// "cannot output" when neither can be made.
void create_output(outfile& o, const char* outname);

// Flushes and closes the complete file ("cannot write output" if that
// fails), then puts it in place under outname ("cannot output" if that
// fails). A symbolic link named outname is replaced, not followed.
void commit_output(outfile& o, const char* outname);

// create_output and commit_output for a command that reports on its own:
// they return the message instead of ending the run, nullptr when done.
const char* open_output(outfile& o, const char* outname);
const char* close_output(outfile& o, const char* outname);

// For the process, once at start:
// - descriptors 0, 1 and 2, where closed, are opened on /dev/null, so that
//   no file the run opens takes their number and gets the log written into it;
// - SIGPIPE and SIGXFSZ are ignored: a reader of the log that goes away, or
//   a file size limit, makes writes fail instead of killing the run;
// - SIGINT, SIGTERM and SIGHUP remove a named temporary file, then end the
//   process with the same signal.
void guard_process();
