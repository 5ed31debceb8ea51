// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A window's client area laid out at its designed size. Larger, each control
// that follows the growth moves its edges by given shares of the extra width
// and height; smaller, the client keeps its designed size inside a scroll
// area instead of letting controls overlap.
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <vector>

class QScrollArea;

namespace qm {

// How far each edge of a control moves, as a share of the extra room: 0
// stays, 1 follows the right or bottom edge of the client.
struct EdgeShares {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

class GrowingClient : public QWidget {
    Q_OBJECT
public:
    explicit GrowingClient(QSize designed, QWidget* parent = nullptr);

    QSize designedSize() const { return designed_; }

    // `control` now stands where the design puts it; from here on it follows
    // the client's growth by `shares`.
    void follow(QWidget* control, EdgeShares shares);

    // A scroll area showing this client, sized to it at the designed size.
    QScrollArea* inScrollArea();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Follower {
        QPointer<QWidget> control;
        QRect designed;
        EdgeShares shares;
    };
    QSize designed_;
    std::vector<Follower> followers_;
};

} // namespace qm
