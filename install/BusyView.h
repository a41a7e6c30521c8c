#pragma once
// A list view is busy for the whole of a check or an install run: its ready flag is cleared when
// the outermost run of the thread starts and set once when that run ends, after every message the
// run showed (each run hides its progress panel before it tells anything). A run within a run (an
// install run fetches the list again) leaves the flag to the outer one, so the commands never come
// back while a message of the run is still to be read, and never in the middle of a run.

#include "UpdateListView.h"

class CBusyView {
  public:
    explicit CBusyView(IUpdateListView* view) : m_view(view), m_outermost(t_depth++ == 0) {
        if (m_outermost && m_view) m_view->SetReady(0);
    }
    ~CBusyView() {
        --t_depth;
        if (m_outermost && m_view) m_view->SetReady(1);
    }
    CBusyView(const CBusyView&) = delete;
    CBusyView& operator=(const CBusyView&) = delete;

  private:
    IUpdateListView* m_view;
    bool m_outermost;
    // Runs of one thread nest; runs of two threads (a test's, the program's) never share a view.
    static inline thread_local int t_depth = 0;
};
