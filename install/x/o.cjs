/* Lentrova's own skin: a Qt style sheet applied to the main window. */
QPushButton {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #fdfdfd, stop:1 #dde3ea);
    border: 1px solid #8a98a8;
    border-radius: 3px;
    color: #1d2b3a;
}
QPushButton:hover {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #ffffff, stop:1 #cfe0f3);
    border-color: #3f7cc0;
}
QPushButton:pressed {
    background-color: #c2d6ec;
}
QGroupBox {
    border: 1px solid #a9b4c0;
    border-radius: 3px;
    margin-top: 8px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 6px;
    padding: 0 2px;
}
QProgressBar {
    border: 1px solid #8a98a8;
    border-radius: 3px;
    background: #f4f6f8;
    text-align: center;
}
QProgressBar::chunk {
    background-color: #7fb2e5;
}
