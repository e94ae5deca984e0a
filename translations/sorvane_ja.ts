<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>FormSorvane</name>
    <message>
        <source>Sorvane</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Property...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stay on top</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Top Left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Top Right</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bottom Left</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bottom Right</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FormSorvaneProperty</name>
    <message>
        <source>Property</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Graph</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Interface:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Scale:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Byte/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bit/s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>10000</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Receive Line Color:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Send Line Color:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Graph Curve:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>0.1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CRT Gamma:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2.50</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delay Count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Grid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Affect by &apos;Graph Curve&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Affect by &apos;CRT Gamma&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Horizontal Grid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>10</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Line Color</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Vertical Grid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1&apos;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TFormSorvaneProperty</name>
    <message>
        <source>This computer</source>
        <translation>このコンピュータ</translation>
    </message>
    <message>
        <source>Asking %1...</source>
        <translation>%1 に問い合わせ中...</translation>
    </message>
    <message>
        <source>SNMP support is not installed</source>
        <translation>SNMP サポートがインストールされていません</translation>
    </message>
    <message>
        <source>The SNMP settings in the file are incomplete</source>
        <translation>設定ファイルの SNMP 設定が不完全です</translation>
    </message>
    <message>
        <source>Unknown host: %1</source>
        <translation>不明なホスト: %1</translation>
    </message>
    <message>
        <source>No answer from %1</source>
        <translation>%1 から応答がありません</translation>
    </message>
    <message>
        <source>%1 refused the user or passphrase</source>
        <translation>%1 がユーザーまたはパスフレーズを拒否しました</translation>
    </message>
    <message>
        <source>%1 gave no interface table</source>
        <translation>%1 からインターフェイスの表を得られません</translation>
    </message>
</context>
<context>
    <name>TFormSorvane</name>
    <message>
        <source>Cannot write to %1</source>
        <translation>%1 に書き込めません</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Shows the traffic of one network interface as a scrolling graph.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show this help and exit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show the version and exit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Try &apos;%1 --help&apos; for more information.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unexpected argument &apos;%1&apos;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings file: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
