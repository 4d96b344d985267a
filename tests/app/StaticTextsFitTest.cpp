#include "QtTestSupport.h"
#include "StaticTextFit.h"
#include "app/UnitFormMain.h"
#include "app/pages/PagesSetup.h"

#include <QApplication>

// Run offscreen and, with QT_QPA_PLATFORM=xcb, on the test display: the fonts
// and resolution of both decide whether a text fits.

namespace {

QStringList ProblemsOn(QWidget* window, const QString& where) {
    QApplication::processEvents(); // pending layout requests settle first
    QStringList problems;
    for (const QString& problem : StaticTextProblems(window))
        problems << where + QStringLiteral(": ") + problem;
    return problems;
}

// On the test display only when there is one.
class StaticTexts : public ::testing::Test {
protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") == "xcb" && qgetenv("DISPLAY").isEmpty())
            GTEST_SKIP() << "no display (source scripts/test-env start)";
    }
};

} // namespace

TEST_F(StaticTexts, TheVersionLabelLeavesTheInstructionReadable) {
    ClientEnvironment env; // no game installed: the client opens on "Locate Tribes2"
    auto form = env.CreateForm();
    form->show();
    ASSERT_EQ(form->CurrentPage(), PageLocateTribes2);
    ASSERT_EQ(form->Locate->LabelT2Version->text(), "25034");
    const QStringList problems = ProblemsOn(form.get(), "Locate Tribes2");
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
}
