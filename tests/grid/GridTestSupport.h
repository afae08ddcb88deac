#pragma once
// Shared set-up for the grid tests: an in-memory result and a shown grid
// bound to it, with the classic colour scheme pinned.

#include "grid/dxDBGrid.h"
#include "platform/data/MemDataSet.h"
#include "platform/colors/SysColors.h"

#include <QApplication>
#include <QFontMetrics>

#include <memory>
#include <optional>

// `rows` records of (ID integer 1..rows, NAME "name<i>").
inline TColumnStore MakeStore(int rows, bool withName = true)
{
    std::vector<TFieldDef> defs;
    defs.push_back({QStringLiteral("ID"), ftInteger, 4, 0, 0, false});
    if (withName)
        defs.push_back({QStringLiteral("NAME"), ftString, 20, 0, 0, false});
    TColumnStore store;
    store.Reset(defs);
    for (int i = 1; i <= rows; ++i) {
        store.Column(0).AppendInt(i);
        if (withName)
            store.Column(1).AppendBytes(QStringLiteral("name%1").arg(i).toStdString());
    }
    return store;
}

// A pixel size of the application font whose line height is `height`.
inline std::optional<QFont> FontWithTextHeight(int height)
{
    QFont f = QApplication::font();
    for (int px = 4; px <= 40; ++px) {
        f.setPixelSize(px);
        if (QFontMetrics(f).height() == height)
            return f;
    }
    return std::nullopt;
}

struct TGridFixture {
    TMemDataSet data{QStringLiteral("ADOQuerySql")};
    TDataSource source;
    std::unique_ptr<TdxDBGrid> grid;

    explicit TGridFixture(int rows, QSize size = QSize(400, 200))
    {
        InstallClassicScheme();
        data.SetData(MakeStore(rows));
        source.SetDataSet(&data);
        grid = std::make_unique<TdxDBGrid>();
        grid->setObjectName(QStringLiteral("dxDBGridRes"));
        grid->resize(size);
        grid->SetDataSource(&source);
        grid->show();
        QApplication::processEvents();
    }
    ~TGridFixture()
    {
        grid.reset();
        source.SetDataSet(nullptr);
    }

    // The program's rebuild: one 200-px column per field.
    void Rebuild()
    {
        grid->ClearColumns();
        for (int i = 0; i < data.FieldCount(); ++i) {
            TdxDBGridMaskColumn* c = grid->AddColumn();
            c->SetFieldName(data.Fields(i)->FieldName());
            c->SetColIndex(i);
            c->SetCaption(data.Fields(i)->FieldName());
            c->SetDisableEditor(true);
            c->SetWidth(200);
        }
    }
};
