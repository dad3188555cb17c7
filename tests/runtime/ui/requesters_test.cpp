#include "toolkit_fixture.h"

TEST(Requesters, YesNoBoxAnswersOnlySixOrSeven) {
    StartTestToolkit();
    ClearRequesterAnswers();
    for (int queued : {AnswerYes, AnswerNo, AnswerCancel, 0, 1}) QueueRequesterAnswer(queued, u"");
    EXPECT_EQ(ShowMessageBox(u"User presets", u"Overwrite user preset 3 ?", MessageBoxYesNo), 6);
    EXPECT_EQ(LastRequesterTitle(), u"User presets");
    EXPECT_EQ(LastRequesterText(), u"Overwrite user preset 3 ?");
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNo), 7);
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNo), 7);
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNo), 7);
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNo), 7);
    EXPECT_EQ(QueuedRequesterAnswers(), 0);
}

TEST(Requesters, OtherBoxesAnswerWithinTheirButtons) {
    StartTestToolkit();
    ClearRequesterAnswers();
    for (int queued : {AnswerYes, AnswerCancel, 99, AnswerYes}) QueueRequesterAnswer(queued, u"");
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNoCancel), 6);
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNoCancel), 2);
    EXPECT_EQ(ShowMessageBox(u"t", u"x", MessageBoxYesNoCancel), 2);
    EXPECT_EQ(ShowMessageBox(u"Processing", u"Sorry but you can't drop files while processing!",
                             MessageBoxOk),
              0);
    EXPECT_EQ(LastRequesterTitle(), u"Processing");
    EXPECT_EQ(LastRequesterText(), u"Sorry but you can't drop files while processing!");
}

TEST(Requesters, FolderChooserAnswerEndsWithASlashAndCancelIsEmpty) {
    StartTestToolkit();
    ClearRequesterAnswers();
    QueueRequesterAnswer(0, u"/home/someone/out");
    QueueRequesterAnswer(0, u"/home/someone/done/");
    QueueRequesterAnswer(0, u"");
    EXPECT_EQ(ChooseFolderDialog(u"", u"/home/someone/"), u"/home/someone/out/");
    EXPECT_EQ(LastRequesterText(), u"/home/someone/");
    EXPECT_EQ(ChooseFolderDialog(u"", u"/"), u"/home/someone/done/");
    EXPECT_EQ(ChooseFolderDialog(u"", u"/"), u"");
}
