{ Sample unit exercising the lexer }
unit Shapes;

{$mode objfpc}{$H+}

interface

uses
  Classes, SysUtils;

type
  EShapeError = class(Exception);
  TShapeKind = (skCircle, skSquare);
  TPoint2 = packed record
    X, Y: Double;
    case Kind: TShapeKind of
      skCircle: (Radius: Single);
      skSquare: (Side: Single);
  end;

  TShape = class(TObject)
  private
    FName: string;
  public
    constructor Create(const AName: string);
    function Area: Double; virtual; abstract;
    property Name: string read FName;
  end;

implementation

(* a block comment
   over two lines *)
constructor TShape.Create(const AName: string);
var
  I: Integer;
begin
  inherited Create;
  FName := AName + #13#10'tail' + 'it''s';
  I := $FF + &17 + %1010 + 1.5e3;
  {$IFDEF DEBUG}
  WriteLn('debug');
  {$ENDIF}
  case I of
    0: Exit;
  else
    repeat
      Dec(I);
    until I <= 0;
  end;
  try
    if I <> 0 then raise EShapeError.Create('bad');
  finally
    I := 0; // done
  end;
end;

end.
