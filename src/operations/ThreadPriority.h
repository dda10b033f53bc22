// Runs the calling thread above normal priority for the life of the object,
// so that a long flash keeps the line busy while the desktop is loaded.
// Without the privilege to raise it the thread simply stays where it was.
#pragma once

class CRaisedPriority {
 public:
  CRaisedPriority();
  ~CRaisedPriority();  // back to the priority the thread had before
  CRaisedPriority(const CRaisedPriority&) = delete;
  CRaisedPriority& operator=(const CRaisedPriority&) = delete;

  bool Raised() const { return m_raised; }

 private:
  bool m_raised = false;
  int m_previous = 0;
};

// The calling thread's nice value (lower runs first).
int CurrentThreadNice();
