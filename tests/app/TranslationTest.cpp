// Qt's own texts in a Russian program: standard buttons and the file dialog speak Russian.
#include "app/Startup.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>

TEST(QtTranslations, StandardButtonsAndTheFileDialogReadRussian) {
    auto& app = *qobject_cast<QApplication*>(QCoreApplication::instance());
    ASSERT_TRUE(talmar::LoadQtTranslations(app));

    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::Cancel | QMessageBox::Open);
    EXPECT_EQ(box.button(QMessageBox::Yes)->text().remove('&').toStdString(), "Да");
    EXPECT_EQ(box.button(QMessageBox::Cancel)->text().remove('&').toStdString(), "Отмена");
    EXPECT_EQ(box.button(QMessageBox::Open)->text().remove('&').toStdString(), "Открыть");

    // Qt's own dialog, not the platform's: its labels are Qt's texts.
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    std::vector<std::string> labels;
    for (QLabel* l : dialog.findChildren<QLabel*>())
        labels.push_back(l->text().remove('&').toStdString());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Перейти к:"), labels.end());
    EXPECT_NE(std::find(labels.begin(), labels.end(), "Имя файла:"), labels.end());
}
