#include "qt/set_list_window.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>
#include <string>
#include <vector>

namespace lumarex::qt {

SetListWindow::SetListWindow(SetListPanel& panel, QWidget* parent)
    : QWidget(parent, Qt::Tool), panel_(panel), list_(new QListWidget(this)) {
  setObjectName("Setliste");
  setAcceptDrops(true);
  resize(360, 420);
  list_->setObjectName("Eintraege");
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  auto* buttons = new QGridLayout;
  layout->addLayout(buttons);
  const auto button = [&](const char* name, const char* caption, int row, int column, auto action) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    buttons->addWidget(b, row, column);
    connect(b, &QPushButton::clicked, this, action);
  };
  button("Go", "Go", 0, 0, [this] { panel_.Go(); });
  button("Cue", "Cue", 0, 1, [this] { panel_.Cue(); });
  button("Previous", "<< Zurück", 0, 2, [this] { panel_.Previous(); });
  button("Next", "Weiter >>", 0, 3, [this] { panel_.Next(); });
  button("Add", "Hinzufügen", 1, 0, [this] { panel_.Add(); });
  button("Remove", "Entfernen", 1, 1, [this] { panel_.Remove(); });
  button("Up", "Nach oben", 1, 2, [this] { panel_.MoveUp(); });
  button("Down", "Nach unten", 1, 3, [this] { panel_.MoveDown(); });
  button("Save", "Speichern", 2, 0, [this] { panel_.Save(); });

  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (refreshing_) return;
    panel_.Select(row < 0 ? std::nullopt : std::optional<size_t>(static_cast<size_t>(row)));
  });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
    const int row = list_->row(item);
    if (row >= 0) panel_.Activate(static_cast<size_t>(row));
  });
  panel_.OnChanged = [this] { Refresh(); };
  Refresh();
}

void SetListWindow::Refresh() {
  refreshing_ = true;
  setWindowTitle(
      QString::fromStdString(std::string(SetListPanel::kCaption) + " - " + panel_.Title()));
  // Items are kept and changed in place: a click's item must outlive the refresh it causes.
  const std::vector<SetListPanel::Row> rows = panel_.Rows();
  while (list_->count() > static_cast<int>(rows.size())) delete list_->takeItem(list_->count() - 1);
  while (list_->count() < static_cast<int>(rows.size())) list_->addItem(QString());
  for (size_t n = 0; n < rows.size(); ++n) {
    QListWidgetItem* item = list_->item(static_cast<int>(n));
    const QString text = QString::fromStdString(rows[n].text);
    if (item->text() != text) item->setText(text);
    if (item->font().bold() != rows[n].current) {
      QFont font = item->font();
      font.setBold(rows[n].current);
      item->setFont(font);
    }
  }
  const auto selected = panel_.Selected();
  const int current = selected ? static_cast<int>(*selected) : -1;
  if (list_->currentRow() != current) list_->setCurrentRow(current);
  refreshing_ = false;
}

void SetListWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void SetListWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  panel_.AddFiles(paths);
  event->acceptProposedAction();
}

}  // namespace lumarex::qt
