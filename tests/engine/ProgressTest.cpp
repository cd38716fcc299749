#include <gtest/gtest.h>

#include "ScriptedProgress.h"

namespace {

TEST(Progress, CaptionFollowsTheRoundedPercentage) {
    CScriptedProgress p;
    p.Open("Progress", true);
    p.SetRange(0, 3, 1);
    p.StepIt();
    p.StepIt();
    p.StepIt();
    EXPECT_EQ(p.Captions,
              (std::vector<std::string>{"Progress [33%]", "Progress [67%]", "Progress [100%]"}));

    CScriptedProgress empty;
    empty.SetRange(0, 0, 1);
    empty.StepIt();
    EXPECT_TRUE(empty.Captions.empty());
    EXPECT_EQ(empty.GetCaption(), "Progress");
}

TEST(Progress, ScriptedCancelsAtTheGivenPump) {
    CScriptedProgress p(2);
    EXPECT_FALSE(p.PumpAndCheckCancel(true));
    EXPECT_TRUE(p.PumpAndCheckCancel(true));
    EXPECT_TRUE(p.PumpAndCheckCancel(false));
}

} // namespace
