// The window library; views, menus and dialogs join it as they are built.
