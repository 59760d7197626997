/* Lentrova's own skin: a Qt style sheet applied to the main window. Every colour is a role of the palette,
   so that captions stay readable on their backgrounds under a dark palette as under a light one. */
QPushButton {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 palette(midlight), stop:1 palette(button));
    border: 1px solid palette(mid);
    border-radius: 3px;
    color: palette(button-text);
}
QPushButton:hover {
    background-color: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 palette(midlight), stop:1 palette(button));
    border-color: palette(highlight);
}
QPushButton:pressed {
    background-color: palette(button);
    border-color: palette(highlight);
}
QGroupBox {
    border: 1px solid palette(mid);
    border-radius: 3px;
    margin-top: 8px;
}
QGroupBox::title {
    subcontrol-origin: margin;
    left: 6px;
    padding: 0 2px;
}
QProgressBar {
    border: 1px solid palette(mid);
    border-radius: 3px;
    background: palette(base);
    color: palette(text);
    text-align: center;
}
QProgressBar::chunk {
    background-color: palette(highlight);
}
