#include "toolkit_fixture.h"

#include "runtime/base/text.h"

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTextEdit>
#include <QUrl>

namespace {

QWidget *Viewport(int64_t gadget) {
    return reinterpret_cast<QTextEdit *>(ControlPlatformHandle(gadget))->viewport();
}

// A drop goes to the widget that took the drag when it entered.
void EnterAndDrop(QWidget *target, QMimeData *data) {
    QDragEnterEvent enter(QPoint(1, 1), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(1, 1), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

QMimeData *FilesData(const QStringList &paths) {
    auto *data = new QMimeData;
    QList<QUrl> urls;
    for (const QString &path : paths) urls.append(QUrl::fromLocalFile(path));
    data->setUrls(urls);
    return data;
}

void OpenLogWindow() {
    ASSERT_NE(OpenAppWindow(0, 0, 0, 400, 300, u"Drops", 0, -1), 0);
    ASSERT_NE(EditorGadget(2, 6, 6, 300, 200, EditorFlagReadOnly), 0);
    AcceptControlDrops(2, DropTypeFiles, DropActionCopy);
    while (PollEvent() != 0) {
    }
}

} // namespace

TEST(Drops, ThreeFilesMakeOneEventWithThreeLinesAndTheAnswerIsCopy) {
    StartTestToolkit();
    OpenLogWindow();
    std::unique_ptr<QMimeData> data(
        FilesData({"/photos/a.jpg", "/photos/b.png", "/photos/c d.tif"}));
    // The source allows moving and proposes it; the answer must be copy.
    QDragEnterEvent enter(QPoint(20, 30), Qt::CopyAction | Qt::MoveAction, data.get(),
                          Qt::LeftButton, Qt::NoModifier);
    enter.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(Viewport(2), &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(20, 30), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton,
                    Qt::NoModifier);
    drop.setDropAction(Qt::MoveAction);
    QCoreApplication::sendEvent(Viewport(2), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);

    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(EventObject(), 2);
    EXPECT_EQ(EventWindowNumber(), 0);
    EXPECT_EQ(DropKind(), DropTypeFiles);
    EXPECT_EQ(DropAction(), DropActionCopy);
    EXPECT_EQ(DroppedFileList(), u"/photos/a.jpg\n/photos/b.png\n/photos/c d.tif");
    EXPECT_EQ(PollEvent(), 0);
    // The record goes with the next fetch.
    EXPECT_EQ(DropKind(), 0u);
    EXPECT_EQ(DroppedFileList(), u"");
    // The editor did not insert the names as text.
    EXPECT_EQ(GetGadgetText(2), u"");
}

TEST(Drops, TheSameDropTwiceArrivesTwice) {
    StartTestToolkit();
    OpenLogWindow();
    EXPECT_EQ(DeliverFileDrop(0, 2, u"/photos/a.jpg", 5, 5), 1);
    EXPECT_EQ(DeliverFileDrop(0, 2, u"/photos/a.jpg", 5, 5), 1);
    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(DroppedFileList(), u"/photos/a.jpg");
    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(DroppedFileList(), u"/photos/a.jpg");
    EXPECT_EQ(PollEvent(), 0);
}

TEST(Drops, FileNamesWinOverTextAndImage) {
    StartTestToolkit();
    OpenLogWindow();
    AcceptControlDrops(2, DropTypeText, DropActionCopy);
    std::unique_ptr<QMimeData> data(FilesData({"/photos/a.jpg"}));
    data->setText("some text");
    QImage preview(4, 4, QImage::Format_RGB32);
    preview.fill(Qt::white);
    data->setImageData(preview);
    EnterAndDrop(Viewport(2), data.get());
    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(DropKind(), DropTypeFiles);
    EXPECT_EQ(DroppedFileList(), u"/photos/a.jpg");
    // Text alone is text.
    std::unique_ptr<QMimeData> text(new QMimeData);
    text->setText("0x1 0x2");
    EnterAndDrop(Viewport(2), text.get());
    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(DropKind(), DropTypeText);
    EXPECT_EQ(DroppedText(), u"0x1 0x2");
    EXPECT_EQ(DroppedFileList(), u"");
}

TEST(Drops, WindowDropsAndGadgetsThatStoppedTakingDrops) {
    StartTestToolkit();
    OpenLogWindow();
    AcceptWindowDrops(0, DropTypeFiles, DropActionCopy);
    EXPECT_EQ(DeliverFileDrop(0, -1, u"/a.png\n/b.png", 40, 250), 1);
    ASSERT_EQ(PollEvent(), EventWindowDrop);
    EXPECT_EQ(EventWindowNumber(), 0);
    EXPECT_EQ(EventObject(), 0);
    EXPECT_EQ(DropX(), 40);
    EXPECT_EQ(DropY(), 250);
    EXPECT_EQ(DroppedFileList(), u"/a.png\n/b.png");

    StopControlDrops(2);
    EXPECT_EQ(DeliverFileDrop(0, 2, u"/a.png", 5, 5), 0);
    EXPECT_EQ(PollEvent(), 0);
    // A drag that offers nothing the target takes is refused.
    AcceptControlDrops(2, DropTypeFiles, DropActionCopy);
    std::unique_ptr<QMimeData> text(new QMimeData);
    text->setText("words");
    QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, text.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport(2), &enter);
    EXPECT_FALSE(enter.isAccepted());
}

// A name is bytes: one that is not UTF-8 and the name it would show as stay two.
TEST(Drops, NamesThatAreNotUtf8ArriveByteForByte) {
    StartTestToolkit();
    OpenLogWindow();
    std::unique_ptr<QMimeData> data(new QMimeData); // as a file manager offers them
    data->setData("text/uri-list", "file:///p/photo%FF.jpg\r\n# comment\r\nfile://localhost/p/"
                                   "photo%EF%BF%BD.jpg\r\nfile:///p/a%25b%20%231.jpg\r\n");
    EnterAndDrop(Viewport(2), data.get());
    ASSERT_EQ(PollEvent(), EventGadgetDrop);
    EXPECT_EQ(Utf8Of(DroppedFileList()),
              "/p/photo\xFF.jpg\n/p/photo\xEF\xBF\xBD.jpg\n/p/a%b #1.jpg");
}
