#!/bin/sh
# Writes the files that stand beside the program, in Windows-1251 with CR LF
# line ends, from the UTF-8 texts below. Run from anywhere; rewrites data/.
set -eu
here=$(cd "$(dirname "$0")" && pwd)

to1251() {  # stdin UTF-8 with LF -> $1 in Windows-1251 with CR LF
  sed 's/$/\r/' | iconv -f UTF-8 -t CP1251 > "$1"
}

to1251 "$here/caption.txt" <<'EOF'
Выход
Настройки
Помощь
Подключение
Соедините адаптер с COM-портом и насосом, затем нажмите «Начать коммуникацию».
Подключение адаптера
 Ошибки 
Начать коммуникацию
Проверить ошибки
Стереть ошибки     
Ошибок не обнаружено
Диагностика VR - VP насосов
Номер по Бош
Id номер
Оригинальный номер
Серийный номер
EOF

mkdir -p "$here/en"
to1251 "$here/en/caption.txt" <<'EOF'
E&xit
&Settings
&Help
&Connection
Connect the adapter to the COM port and the pump, then click "Start communication".
Connecting the adapter
 Faults 
Start &communication
&Read faults
&Erase faults     
No faults found
VR - VP pump diagnosis
Bosch number
Id number
Original number
Serial number
EOF

for code in 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  to1251 "$here/$code.txt" <<EOF
Код неисправности 0x$code

Блок управления насоса сохранил в памяти неисправностей код 0x$code вместе со счётчиком ошибок. Значение счётчика показано во всплывающей подсказке кнопки "$(echo $code | tr 'A-E' 'a-e')".

Описания этого кода от изготовителя насоса в программе нет, поэтому конкретная причина здесь не называется.

Общие рекомендации:
- осмотрите проводку и разъёмы между насосом, блоком управления и автомобилем: окисление, обрыв, плохой контакт;
- проверьте напряжение питания блока управления и массу (аккумулятор, предохранители);
- найдите код 0x$code в сервисной документации насоса;
- сотрите ошибки, запустите двигатель и снова прочитайте память неисправностей, чтобы узнать, появляется ли код вновь.
EOF
done

# The same help texts in English, for a user whose language is not Russian.
for code in 50 51 52 53 54 55 56 57 58 59 5A 5B 5C 5D 5E; do
  to1251 "$here/en/$code.txt" <<EOF
Fault code 0x$code

The pump's control unit has stored code 0x$code in its fault memory together with an error counter. The counter's value is shown in the tooltip of the "$(echo $code | tr 'A-E' 'a-e')" button.

The program has no description of this code from the pump's maker, so no particular cause is named here.

General advice:
- inspect the wiring and connectors between the pump, the control unit and the vehicle: corrosion, a broken wire, a poor contact;
- check the control unit's supply voltage and ground (battery, fuses);
- look up code 0x$code in the pump's service documentation;
- erase the faults, start the engine and read the fault memory again to see whether the code comes back.
EOF
done
