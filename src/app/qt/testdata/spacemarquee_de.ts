<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>MenuBarItem</name>
    <message>
        <source>Quit Spacemarquee</source>
        <translation>Spacemarquee beenden</translation>
    </message>
</context>
</TS>
