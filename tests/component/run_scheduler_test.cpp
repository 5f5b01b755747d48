// The run's bookkeeping on its own: what starts after each step, when the run
// is over, and never more tasks at once than the run takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "component/run_scheduler.h"

namespace moskvid::test {
namespace {

// A case is a line of steps: '+' adds a task, 'B' begins a run of N at a
// time, 'H1' holds, 'H0' lets go, 'jN' joins, 'eN' ends and 'rN' removes the
// task at N ("r0*": it kept its place), 'f' frees the place of the last task
// removed, 'C' clears the list, 'S' stops, 'xN' checks that N run side by
// side. ">a,b" are the starts a step makes, '!' says it ends the run.
struct Case {
  const char* name;
  const char* steps;
};

TEST(RunSchedulerTest, Steps) {
  const Case cases[] = {
      {"a refused task is removed while another waits", "H1 B1 + j0>0 + j1 + r2 e0>1 e1 H0!"},
      {"a task joins right after another ended", "H1 + + B1>0 e0>1 + j2 e1>2 e2 H0!"},
      {"removals before and after the next task", "+ + + + B1>0 e0>1 r0 r2 e0>1 e1!"},
      {"a running task removed keeps its place until it ends", "+ + B1>0 r0* + j1 f>0 e0!"},
      {"the place of a task of a cleared run is not this run's",
       "+ + B1>0 r0* C + + B1>0 f e0>1 e1!"},
      {"nor is that of a task removed before the run began again", "+ + B1>0 r0* B1>0 f e0!"},
      {"a held run ends only once let go, and once", "H1 + B2>0 j0 e0 H1 H0! H0"},
      {"a stop starts nothing and ends the run after every listed task",
       "H1 + + B1>0 + S j2 e0 e1 e2!"},
      {"one at a time on the owner's thread", "+ + B0>0 x1 e0>1 e1!"},
      {"an empty run is no run", "B2 H0 S"},
      {"a held run shares the machine by its thread count", "H1 B3 + j0>0 x3"},
      {"a run shares it by the tasks it has", "+ + B3>0,1 x2 e0 x1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TRunScheduler run;
    uint64_t removedIn = 0;
    std::istringstream steps(c.steps);
    for (std::string token; steps >> token;) {
      SCOPED_TRACE(token);
      const char op = token[0];
      const int arg = std::atoi(token.c_str() + 1);
      std::vector<int> starts;
      if (const size_t at = token.find('>'); at != std::string::npos) {
        std::istringstream list(token.substr(at + 1));
        for (std::string index; std::getline(list, index, ',');)
          starts.push_back(std::atoi(index.c_str()));
      }
      TRunStep step;
      bool keptPlace = false;
      int sideBySide = 0;
      if (op == '+') run.TaskAdded();
      if (op == 'B') step = run.Begin(arg);
      if (op == 'H') step = run.Hold(arg != 0);
      if (op == 'j') step = run.Join(arg);
      if (op == 'e') step = run.Ended(arg);
      if (op == 'r') removedIn = run.RunNumber();
      if (op == 'r') keptPlace = run.TaskRemoved(arg);
      if (op == 'f') step = run.SlotFreed(removedIn);
      if (op == 'C') run.Cleared();
      if (op == 'S') run.Stop();
      if (op == 'x') sideBySide = run.SideBySide();
      EXPECT_EQ(step.Starts, starts);
      EXPECT_EQ(step.RunOver, token.find('!') != std::string::npos);
      EXPECT_EQ(keptPlace, token.find('*') != std::string::npos);
      EXPECT_EQ(sideBySide, op == 'x' ? arg : 0);
      EXPECT_LE(run.Running(), std::max(run.ThreadCount(), 1));
    }
  }
}

}  // namespace
}  // namespace moskvid::test
