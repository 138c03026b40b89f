#pragma once
// The settings editor window, one class for the three editors: built from an editor's form
// (EditorForm.h) and driven by its rules (core/EditorRules.h). Handlers keep the names the
// engineer's documentation gives them; those that differ from editor to editor are reached by
// name through Handler() ("TabSheet2Show", "RxSlider1Change", "RxDBComboBox5Change",
// "DBCheckBox1Click", "BitBtn1Click").
//
// The window is created once at start, hidden, and shown modally from the main window; closing
// it only hides it. While a programming run started from it goes on, the window takes no input
// (a second click, a record move or a deletion cannot happen) and keeps painting.

#include "controls/DataControls.h"
#include "controls/DataSource.h"
#include "controls/TableModel.h"
#include "editors/EditorForm.h"
#include "editors/core/EditorRules.h"

#include <QDialog>
#include <memory>

class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;
class QVBoxLayout;

namespace talmar {

class IHost;
class TCopyBoard;
class TDMTables;

class TFTuning : public QDialog {
    Q_OBJECT
public:
    TFTuning(const TEditorForm& form, TDMTables& dm, TCopyBoard& board, IHost& host,
             QWidget* parent = nullptr);
    ~TFTuning() override;

    const TEditorForm& Form() const { return form_; }
    TEditorRules& Rules() { return rules_; }
    TDataSource& DataSource() { return *source_; }
    // A running programming command holds the window.
    bool Programming() const { return programming_; }

    template <typename T>
    T* Control(const std::string& name) const {
        return findChild<T*>(QString::fromStdString(name));
    }
    QSlider* Slider(int index) const;
    QLabel* MinLabel(int index) const;
    QLabel* MaxLabel(int index) const;

    QWidget* Body = nullptr; // everything the engineer can touch
    QTabWidget* General = nullptr;
    TDBGrid* DBGrid1 = nullptr;
    TDBNavigator* DBNavigator1 = nullptr;
    QPushButton* BCopy = nullptr;
    QPushButton* BPaste = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* BProg = nullptr; // "BitBtn1" in the ОРТЕН editor

    // ---- handlers
    void FormShow();
    void FormHide();
    void FormHelp(int helpContext);
    void OKBtnClick();
    void BProgClick();
    void BCopyClick();
    void BPasteClick();
    void DBGrid1Enter();
    void DBGrid1CellClick();
    // The show step of a tab (TabSheet3Show, TabSheetTC1Show...).
    void TabShow(int tab);
    // The line-resistance chooser's change step (RxDBComboBox5Change...).
    void ResistanceChange();
    // A check box that governs a group changed state (TabSheet5Show as CBUseTI's click,
    // DBCheckBox1Click).
    void GroupRule(const TGroupRule& rule);
    // Runs a handler by its documented name; false when the window has none of that name.
    bool Handler(const QString& name);

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

public slots:
    void reject() override;

private:
    struct TSliderWidgets {
        QSlider* slider = nullptr;
        QLabel* minLabel = nullptr;
        QLabel* maxLabel = nullptr;
    };

    void BuildMainTab(QWidget* page);
    void BuildNodes(const std::vector<TFormNode>& nodes, QVBoxLayout* layout, QWidget* parent);
    void BuildLevel(const TFormNode& n, QGridLayout* grid, int row, QWidget* parent);
    void OnRulesChange(TEditorChange change, int slider);
    void ShowSlider(int slider);
    bool Guard(const std::function<void()>& action);
    // Writes what is still being typed into the record before the window closes; false, with the
    // error shown and the field in focus, when some text does not convert.
    bool WriteTyped();

    const TEditorForm& form_;
    std::unique_ptr<TDataSource> source_;
    TEditorRules rules_;
    std::vector<TSliderWidgets> sliders_;
    bool programming_ = false;
    bool syncing_ = false;
    int shownTab_ = -1;
};

} // namespace talmar
