#pragma once
// The result file is written under a temporary name in its own folder and
// renamed over its final name only when it is complete. A run that fails, or
// that is stopped by a signal (Ctrl-C, kill, a closed terminal, a batch
// system's limits), leaves an earlier result
// file as it was and never leaves a partial one.

#include <fstream>
#include <string>

namespace quorix {

class PendingResultFile {
 public:
  explicit PendingResultFile(std::string final_name);
  PendingResultFile(const PendingResultFile&) = delete;
  PendingResultFile& operator=(const PendingResultFile&) = delete;
  // Removes the temporary file unless it has been put in place.
  ~PendingResultFile();

  // Creates the temporary file beside the final one, under a hidden name no
  // longer than the final name (so any name the folder can hold will do). On
  // failure returns false and sets `error` to the reason. From here until
  // commit, every signal that would end the process removes the temporary
  // file first, then ends it as it would have.
  bool create(std::string& error);
  std::ostream& stream() { return out_; }
  // Flushes and closes the temporary file and renames it to the final name.
  bool commit(std::string& error);

  const std::string& final_name() const { return final_name_; }
  const std::string& temporary_name() const { return temporary_name_; }

 private:
  std::string final_name_;
  std::string temporary_name_;
  std::ofstream out_;
  int signal_slot_ = -1;
  bool committed_ = false;
};

// A standard output whose reader has gone (quorix ... | head -1) does not
// stop the program: its lines are dropped and the files are written as
// usual. Called first thing by both programs.
void keep_running_without_console();

// False, with the reason in `error`, when `name` exists and may not be
// replaced: it is not a regular file, or it is read-only (no write
// permission for anybody, or none for this user).
bool result_file_replaceable(const std::string& name, std::string& error);

}  // namespace quorix
