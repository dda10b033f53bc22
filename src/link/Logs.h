// The traffic log (typed frames) and the run log (a header per connection):
// plain text files with CR LF line ends, started by the user through a file
// dialog.  Errors are reported as "Comm err: " lines.
#pragma once

#include <functional>
#include <string>

class CLogs {
 public:
  CLogs() = default;
  ~CLogs();  // closes both files
  CLogs(const CLogs&) = delete;
  CLogs& operator=(const CLogs&) = delete;

  // Asks for the log's file and starts it anew.
  void StartCommLog();
  void StartRunLog();
  // Appends the line and CR LF; the line is changed in place.
  void WriteCommLog(std::string& line);
  void WriteRunLog(std::string& line);
  bool IsCommLogOpen() const { return m_commFd >= 0; }
  bool IsRunLogOpen() const { return m_runFd >= 0; }

  // Where error lines go ("<LogComm Error-%u>" and the like).
  std::function<void(const std::string&)> errorObserver;
  std::string m_msgBuf;  // the last error line formatted

 private:
  void Start(int& fd, const char* initialName, const char* errorFormat);
  void Append(int fd, std::string& line, const char* errorFormat);
  void Report(const std::string& line);

  int m_commFd = -1;
  int m_runFd = -1;
};
